#ifndef KW_INSTALLER_AUTO_CONFIGURATOR_H
#define KW_INSTALLER_AUTO_CONFIGURATOR_H

class SystemSpecificConfigurator;

namespace driver {

// The owner of a flow's system configurator. Releasing it removes the temporary package sources
// (unless clean-up is skipped) and finishes the configurator, which keeps the persistent
// configuration only after a successful installation and rolls it back otherwise. It is never empty:
// without a configurator for this system it holds one that does nothing.
class auto_configurator {
public:
    class DummyConfigurator;

    // Takes ownership; null becomes a DummyConfigurator.
    auto_configurator(SystemSpecificConfigurator* configurator, bool cleanup);
    // Never throws: a failing clean-up step is logged and the next one still runs, so a failed
    // removal of the temporary sources does not keep the persistent files from being restored.
    ~auto_configurator();
    auto_configurator(const auto_configurator&) = delete;
    auto_configurator& operator=(const auto_configurator&) = delete;

    // Cleans up and deletes the held configurator, then takes the new one (null: a DummyConfigurator).
    // A failure of the clean-up passes on and leaves the holder as it was.
    void reset(SystemSpecificConfigurator* configurator);

    SystemSpecificConfigurator* get() const { return configurator; }
    SystemSpecificConfigurator* operator->() const { return configurator; }
    SystemSpecificConfigurator& operator*() const { return *configurator; }
    bool getCleanup() const { return cleanup; }

private:
    SystemSpecificConfigurator* configurator;
    bool cleanup;
};

}  // namespace driver

#endif
