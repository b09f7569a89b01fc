#ifndef KW_TESTS_SUPPORT_LOADEDBUILD_H
#define KW_TESTS_SUPPORT_LOADEDBUILD_H

#include <string>

#include <boost/shared_ptr.hpp>

#include "installer/Build.h"
#include "tests/support/TempDir.h"

// A Debian 12 build as the build loader leaves it: its build file (written into dir as
// "build.inf3", with the release "zanth-10.0" and one component) read under the config name, and
// its source directory set. The root element gets the attributes; children go after the component.
boost::shared_ptr<Build> loadedBuild(const TempDir& dir, const std::string& attributes,
                                     const std::string& children = "",
                                     const std::string& config = "zanth/builds/10.0/deb12.inf3",
                                     const std::string& source = "zanth");

// A build as above from a whole build file that lies elsewhere (for instance in a generated mirror).
boost::shared_ptr<Build> loadedBuildFile(const std::string& path, const std::string& config, const std::string& source);

#endif
