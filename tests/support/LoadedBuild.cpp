#include "tests/support/LoadedBuild.h"

#include <boost/make_shared.hpp>

#include "installer/BuildInfFile.h"

boost::shared_ptr<Build> loadedBuild(const TempDir& dir, const std::string& attributes, const std::string& children,
                                     const std::string& config, const std::string& source)
{
    const std::string path = dir / "build.inf3";
    writeWholeFile(path,
                   "<build os_name=\"Linux\" os_vendor=\"Debian\" os_version=\"12\" os_arch=\"x86_64\" "
                   "environment=\"\" " +
                       attributes +
                       "><product id=\"zanth\"><release id=\"zanth-10.0\" version=\"10.0\"/></product>"
                       "<component name=\"core\" description=\"Core\"><keypackages><keypackage name=\"k\"/>"
                       "</keypackages></component>" +
                       children + "</build>");
    return loadedBuildFile(path, config, source);
}

boost::shared_ptr<Build> loadedBuildFile(const std::string& path, const std::string& config, const std::string& source)
{
    auto build =
        boost::make_shared<Build>(boost::shared_ptr<Release>(), "Linux", "Debian", "12", "x86_64", "", "", config, "");
    build->setBuildFile(boost::make_shared<BuildInfFile>(path, config));
    build->setSource(source);
    return build;
}
