#ifndef KW_INSTALLER_PARAMFILEEXPORT_H
#define KW_INSTALLER_PARAMFILEEXPORT_H

#include <memory>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "common/FileHandle.h"
#include "installer/ParamManager.h"

// Writes every setting that has a value into the parameter file of its product, one id="value" line
// each in walk order, for the components' scripts to read during the installation.
class ParamManager::ParamFileExport : public ParamManager::Visitor {
public:
    // One parameter file, open for writing while the export lasts.
    struct file_t {
        // The file is made afresh, readable by root alone: it may hold passwords. A path that is a
        // directory is refused with a logged error; a file that cannot be made is skipped silently.
        file_t(const std::string& name, const std::string& path);
        ~file_t();
        file_t(const file_t&) = delete;
        file_t& operator=(const file_t&) = delete;

        void write(const std::string& line);

        std::string name;  // the product the file serves
        std::string path;
        std::unique_ptr<FileHandle> stream;  // null when the file is not written
    };

    void visit(param_ptr_t setting) override;

    // The paths of the files written, in the order they were opened.
    std::vector<std::string> getWrittenPaths() const;

private:
    std::vector<boost::shared_ptr<file_t>> files;
};

#endif
