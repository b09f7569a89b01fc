#include "installer/auto_configurator.h"

#include <exception>

#include "common/Log.h"
#include "common/Progress.h"
#include "common/error.h"
#include "installer/DummyConfigurator.h"

namespace driver {

namespace {

SystemSpecificConfigurator* orDummy(SystemSpecificConfigurator* configurator)
{
    return configurator ? configurator : new auto_configurator::DummyConfigurator;
}

// Runs one clean-up step of the destructor; a failure is logged, never passed on.
template <typename Step>
void swallowing(const char* what, Step step)
{
    try {
        step();
    } catch (const error& e) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Failed to " << what << ": " << e.getText();
    } catch (const std::exception& e) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Failed to " << what << ": " << e.what();
    } catch (const Progress::Interrupted& e) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Failed to " << what << ": " << e.message();
    } catch (...) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Failed to " << what << ": unexpected exception";
    }
}

}  // namespace

auto_configurator::auto_configurator(SystemSpecificConfigurator* configurator_, bool cleanup_)
    : configurator(orDummy(configurator_)), cleanup(cleanup_)
{
}

auto_configurator::~auto_configurator()
{
    if (cleanup)
        swallowing("remove the temporary package sources", [this] { configurator->removeTemporarySources(); });
    swallowing("finish the package system configuration", [this] { configurator->finish(); });
    delete configurator;
}

void auto_configurator::reset(SystemSpecificConfigurator* replacement)
{
    if (replacement == configurator)
        return;
    if (cleanup)
        configurator->removeTemporarySources();
    configurator->finish();
    SystemSpecificConfigurator* old = configurator;
    configurator = orDummy(replacement);
    delete old;
}

}  // namespace driver
