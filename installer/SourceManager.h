#ifndef KW_INSTALLER_SOURCEMANAGER_H
#define KW_INSTALLER_SOURCEMANAGER_H

#include <memory>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

class Build;
class ComponentManager;
class FileFetcher;
class Repository;
class Source;

// Owns the product's package sources during one flow: the repositories of every loaded build and the
// source of installed extensions, all on one repository. The configurators and the sources report
// read `sources` in order.
class SourceManager {
public:
    typedef std::vector<std::shared_ptr<Source>> sources_t;

    explicit SourceManager(Repository* repository);
    ~SourceManager();
    SourceManager(const SourceManager&) = delete;
    SourceManager& operator=(const SourceManager&) = delete;

    // Yum sources on the Red Hat family, apt sources on the Debian family; the sources made before a
    // failure stay.
    void addBuildSources(const FileFetcher& fetcher, const boost::shared_ptr<Build>& build);
    // Removes the product repository sources of that build, keeping the order of the others.
    void dropSources(const boost::weak_ptr<Build>& build);
    void addExtensionsSource(ComponentManager* component_manager);

    void addForceRemovePackage(const std::string& name);
    const std::vector<std::string>& getForceRemovePackages() const { return build_files->force_remove_packages; }
    // All builds of a flow must agree on their container template suffix.
    void setOsTemplateName(const std::string& name);
    // The name set, or one made from the running system.
    std::string getOsTemplateName() const;

    // Reads the installed packages of the rpm database again.
    void reloadSystemPackages();

    const sources_t& getSources() const { return sources; }
    // The sources of one kind (such as the apt or the yum product repositories), in order.
    template <class Kind>
    std::vector<std::shared_ptr<Kind>> getSourcesOf() const
    {
        std::vector<std::shared_ptr<Kind>> result;
        for (const std::shared_ptr<Source>& source : sources)
            if (std::shared_ptr<Kind> kind = std::dynamic_pointer_cast<Kind>(source))
                result.push_back(kind);
        return result;
    }

private:
    // What the loaded build files say beyond their sources.
    struct BuildFilesData {
        std::vector<std::string> force_remove_packages;  // each once, in the order first met
        std::string os_template_name;                    // empty until set
    };

    Repository* repository;
    std::unique_ptr<BuildFilesData> build_files;
    sources_t sources;
};

#endif
