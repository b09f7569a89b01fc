#include "installer/ParamFileExport.h"

#include <cstdio>
#include <sstream>

#include "common/Log.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/textutils.h"
#include "installer/Build.h"
#include "installer/KwComponent.h"

namespace {

// The address of an object, as the debug lines name the file they write.
std::string address(const void* object)
{
    std::ostringstream out;
    out << object;
    return out.str();
}

}  // namespace

ParamManager::ParamFileExport::file_t::file_t(const std::string& name_, const std::string& path_)
    : name(name_), path(path_)
{
    if (fileops::exists(path) && !fileops::is_file(path)) {
        Log::stream(Log::LEVEL_ERROR, true) << ("ERROR: can't rewrite non-regular file " + path);
    } else {
        try {
            stream.reset(new FileHandle(fileops::create_private_file(path), path, "w"));
        } catch (const error&) {
            // A file that cannot be made is skipped: the component's scripts go without it.
        }
    }
    Log::stream(Log::LEVEL_DEBUG, true) << ("DEBUG: ParamManager::ParamFileExport::file_t::file_t create " +
                                            address(stream.get()));
}

ParamManager::ParamFileExport::file_t::~file_t()
{
    Log::stream(Log::LEVEL_DEBUG, true) << ("ParamManager::ParamFileExport::file_t::~file_t: o = " +
                                            address(stream.get()));
    try {
        stream.reset();
    } catch (const error& e) {
        Log::stream(Log::LEVEL_ERROR, true) << e.getText();
    }
}

void ParamManager::ParamFileExport::file_t::write(const std::string& line)
{
    if (!stream)
        return;
    std::fputs(line.c_str(), stream->file);
    std::fflush(stream->file);
}

void ParamManager::ParamFileExport::visit(param_ptr_t setting)
{
    if (!setting->Param::isComplete())
        return;
    const boost::shared_ptr<KwComponent>& owner = setting->getComponents().front();
    const std::string product = owner->getProductId();
    boost::shared_ptr<file_t> file;
    for (const boost::shared_ptr<file_t>& open : files)
        if (open->name == product) {
            file = open;
            break;
        }
    if (!file) {
        file.reset(new file_t(product, owner->getBuild()->getParametersFile()));
        files.push_back(file);
    }
    const std::string quoted = quote_c_string(setting->getStoredValue());
    Log::stream(Log::LEVEL_DEBUG, true) << ("DEBUG: export to file param " + setting->getId() + "=" + quoted);
    Log::stream(Log::LEVEL_DEBUG, true) << (" file " + address(file->stream.get()));
    file->write(setting->getId() + "=" + quoted + "\n");
}

std::vector<std::string> ParamManager::ParamFileExport::getWrittenPaths() const
{
    std::vector<std::string> paths;
    for (const boost::shared_ptr<file_t>& file : files)
        if (file->stream)
            paths.push_back(file->path);
    return paths;
}

void ParamManager::exportToFiles()
{
    ParamFileExport exporter;
    walk(exporter, param_ptr_t(), true);
    exported_files = exporter.getWrittenPaths();
}
