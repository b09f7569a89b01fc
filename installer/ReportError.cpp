#include "installer/ReportError.h"

#include <sys/stat.h>
#include <tinyxml.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>

#include "common/FileHandle.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/POpen.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "common/tinybind.h"
#include "installer/CustomerFeedback.h"
#include "installer/HelperScripts.h"
#include "installer/Options.h"
#include "installer/PackagesReporter.h"
#include "installer/ToInstallComponentsReporter.h"
#include "installer/ToInstallReleasesReporter.h"

namespace {

const Messages messages;

// The store. Channels are written from the installation thread of the web interface as well.
struct Store {
    std::mutex mutex;
    std::ostringstream buffer;
    std::string version;
    std::string revision;
    std::string sourceUrl;
    std::string productVersion;
    std::string releasesInfo;
    std::string componentsInfo;
    std::string packagesInfo;
    std::atomic<bool> senderInstalled{false};
};

Store& store()
{
    // Never destroyed: a report may be written while the process ends.
    static Store* s = new Store;
    return *s;
}

std::string base64(const std::string& data)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t line = 0;
    for (size_t i = 0; i < data.size(); i += 3) {
        const size_t n = std::min<size_t>(3, data.size() - i);
        unsigned long group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < n ? static_cast<unsigned char>(data[i + k]) : 0);
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? alphabet[(group >> (18 - 6 * k)) & 0x3f] : '=';
        line += 4;
        if (line >= 76) {
            out += "\r\n";
            line = 0;
        }
    }
    return out;
}

std::string utcNow()
{
    const time_t now = time(nullptr);
    struct tm parts;
    gmtime_r(&now, &parts);
    char text[32];
    strftime(text, sizeof(text), "%Y%m%dT%H%M%S", &parts);
    return text;
}

// A CDATA section ends at the first "]]>": such a text is split over two sections.
std::string cdataSafe(std::string text)
{
    for (size_t at = text.find("]]>"); at != std::string::npos; at = text.find("]]>", at + 15))
        text.replace(at, 3, "]]]]><![CDATA[>");
    return text;
}

std::string launchString()
{
    std::string text;
    for (int i = 0; Options::argv && i < Options::argc; ++i)
        text += std::string(Options::argv[i]) + " ";
    return text;
}

std::string reportDocument(const ErrorReportInfo& info, const Store& s)
{
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", "yes"));
    TiXmlElement* root = new TiXmlElement("error");
    document.LinkEndChild(root);
    tinybind::add_text_child(root, "source", "installer");
    tinybind::add_text_child(root, "severity", info.warning == 0 ? "error" : "warning");
    tinybind::add_text_child(root, "datetime", utcNow());
    TiXmlElement* summary = new TiXmlElement("summary");
    TiXmlText cdata(cdataSafe(info.summary));
    cdata.SetCDATA(true);
    summary->InsertEndChild(cdata);
    root->LinkEndChild(summary);
    tinybind::add_text_child(root, "component", info.component);
    tinybind::add_text_child(root, "message", base64(s.buffer.str()))->SetAttribute("encoding", "base64");

    TiXmlElement* more = new TiXmlElement("additional_info");
    root->LinkEndChild(more);
    tinybind::add_text_child(more, "kw_version", s.version);
    tinybind::add_text_child(more, "kw_revision", s.revision);
    tinybind::add_text_child(more, "kw_launch_string", launchString());
    tinybind::add_text_child(more, "kw_source_url", s.sourceUrl);
    if (!s.releasesInfo.empty())
        tinybind::add_text_child(more, "releases_info", s.releasesInfo);
    if (info.userContinued == 0 || info.userContinued == 1)
        tinybind::add_text_child(more, "user_continued_installation", info.userContinued == 0 ? "true" : "false");
    if (info.packageInstallationMode != 3) {
        if (!info.packageOldVersion.empty())
            tinybind::add_text_child(more, "package_old_version", info.packageOldVersion);
        if (!info.packageNewVersion.empty())
            tinybind::add_text_child(more, "package_new_version", info.packageNewVersion);
        const int mode = info.packageInstallationMode;
        tinybind::add_text_child(more, "package_installation_mode",
                                 mode == 0   ? "install"
                                 : mode == 1 ? "upgrade"
                                             : "remove");
    }
    if (!s.componentsInfo.empty())
        tinybind::add_text_child(more, "components_info", s.componentsInfo);
    if (!s.packagesInfo.empty())
        tinybind::add_text_child(more, "packages_info", s.packagesInfo);

    tinybind::make_printable(root);
    return tinybind::print_indented(document);
}

// Runs the step; whatever it throws is logged at level 2 as a failure "to <what>" and goes no further.
template <typename Step>
void swallowingFailures(const char* what, const Step& step)
{
    std::string text;
    try {
        step();
        return;
    } catch (const std::exception& e) {
        text = e.what();
    } catch (const error& e) {
        text = trim_right(e.getText());
    } catch (...) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Unknown error occured while trying to " << what << ".";
        return;
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << "Error occured while trying to " << what << ": " << text;
}

}  // namespace

std::string ReportError::collected()
{
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.mutex);
    return s.buffer.str();
}

ReportError::Output& ReportError::Output::operator<<(std::ostream& (*manipulator)(std::ostream&))
{
    std::ostringstream out;
    out << manipulator;
    return write(out.str());
}

ReportError::Output& ReportError::Output::write(const std::string& text)
{
    if (level >= 0) {
        // A text that ends a line is written as the end of the log's line, so that the log marks
        // where the next one starts.
        if (!text.empty() && text.back() == '\n') {
            Log::stream line(level, Log::LINE_WHOLE);
            if (text.size() > 1)
                line << text.substr(0, text.size() - 1);
        } else if (!text.empty()) {
            Log::stream(level, Log::LINE_PART) << text;
        }
    }
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.buffer << text;
    return *this;
}

ReportError::Output ReportError::create(int level)
{
    return Output(level);
}

void ReportError::set_installer_version(const std::string& version, const std::string& revision)
{
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.version = version;
    s.revision = revision;
}

void ReportError::set_source_url(const std::string& url)
{
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.sourceUrl = url;
}

void ReportError::set_product_version(const std::string& product, const std::string& version)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "ReportError::set_product_version(" << product << ", " << version << ")";
    if (product != Options::DEFAULT_PRODUCT || CustomerFeedback::getProduct() != Options::DEFAULT_PRODUCT)
        return;
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.productVersion = version;
}

void ReportError::set_to_install_reports(const BuildManager* catalogue, const ComponentManager* components)
{
    std::ostringstream releases;
    ToInstallReleasesReporter(catalogue).put(releases);
    std::ostringstream nodes;
    ToInstallComponentsReporter(components).put(nodes);
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.releasesInfo = releases.str();
    s.componentsInfo = nodes.str();
}

void ReportError::set_packages_report(const cpkgs_t* packages, Repository* repository)
{
    std::ostringstream text;
    PackagesReporter(packages, repository, false).put(text);
    Store& s = store();
    std::lock_guard<std::mutex> guard(s.mutex);
    s.packagesInfo = text.str();
}

std::string ReportError::get_sender_path()
{
    const std::string path = SENDER_PATH;
    Store& s = store();
    if (s.senderInstalled)
        return path;
    fileops::create_directory(fileops::dirname(path));
    // Written beside and then renamed: a utility still filing an earlier report keeps its file.
    const std::string written = path + ".new";
    {
        FileHandle out(fileops::create_private_file(written), written, "w");
        const size_t size = helper_scripts::send_error_report_size;
        if (fwrite(helper_scripts::send_error_report, 1, size, out.file) != size || fchmod(fileno(out.file), 0755) != 0)
            throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
                << format_message(messages.get("err_filewrite1"), written, strerror(errno));
    }
    fileops::rename(written, path);
    // Gives the file the SELinux type of programs; without SELinux the command fails harmlessly.
    exec_command(shell_command({"chcon", "system_u:object_r:bin_t:s0", path}), false, false);
    s.senderInstalled = true;
    return path;
}

void ReportError::install_sender()
{
    swallowingFailures("install error report utility", [] { get_sender_path(); });
}

ReportError& ReportError::operator<<(const ErrorReportInfo& info)
{
    Store& s = store();
    swallowingFailures("analyse error report", [&info, &s] {
        std::string text;
        std::string productVersion;
        {
            std::lock_guard<std::mutex> guard(s.mutex);
            if (CustomerFeedback::shouldSend() && !s.buffer.str().empty()) {
                text = reportDocument(info, s);
                productVersion = s.productVersion;
            }
        }
        if (text.empty())
            return;
        std::vector<std::string> words = {get_sender_path(), "install"};
        if (!productVersion.empty()) {
            words.push_back("--version");
            words.push_back(productVersion);
        }
        exec_detached(shell_command(words), &text);
    });
    // Whatever happened, the next report holds only what is written after this one.
    std::lock_guard<std::mutex> guard(s.mutex);
    s.buffer.str(std::string());
    s.buffer.clear();
    return *this;
}
