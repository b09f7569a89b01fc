#include "installer/ProgressValueRender.h"

#include <boost/make_shared.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/format_message.h"

namespace {
const Messages messages;
}

DownloadProgressRenderer::FileGuard::FileGuard(boost::shared_ptr<DownloadProgressRenderer> renderer_,
                                               const std::string& name)
    : renderer(std::move(renderer_))
{
    if (!renderer || !renderer->files)
        throw KW_INTERNAL_ERROR();
    counter_t& files = *renderer->files;
    files.setValue(files.value + 1);
    files.text = name;
    files.notify(false);
}

DownloadProgressRenderer::FileGuard::~FileGuard()
{
    try {
        renderer->finish(success);
    } catch (...) {
        // Only the drawing failed; a destructor must not end the program for that.
    }
    renderer->bytes.reset();
    renderer->retries.reset();
    renderer.reset();
}

boost::shared_ptr<DownloadProgressRenderer> DownloadProgressRenderer::create()
{
    boost::shared_ptr<DownloadProgressRenderer> renderer(new DownloadProgressRenderer);
    renderer->files = boost::make_shared<counter_t>();
    renderer->files->addObserver(renderer);
    return renderer;
}

void DownloadProgressRenderer::setFilesProgress(const counter_ptr& files_counter)
{
    files = files_counter;
    if (files)
        files->addObserver(shared_from_this());
    render("");
}

void DownloadProgressRenderer::attach(const counter_ptr& bytes_counter, const counter_ptr& retries_counter)
{
    bytes = bytes_counter;
    retries = retries_counter;
    if (retries)
        retries->addObserver(shared_from_this());
    if (bytes)
        bytes->addObserver(shared_from_this());
    render("");
}

void DownloadProgressRenderer::render(const std::string& text)
{
    if (!files)
        throw KW_INTERNAL_ERROR();

    std::string line = messages.get("download_file");
    if (files->maximum != 0)
        line += format_message(messages.get("download_total_progress"), files->value, files->maximum);
    line += files->text;
    if (retries && retries->value != 0)
        line += format_message(messages.get("download_retry_progress"), retries->value, retries->maximum);
    line += ": ";

    line_class_t drawn;
    if (!text.empty()) {
        line += text;
        drawn = LINE_TEXT;
    } else if (retries && !retries->text.empty()) {
        line += retries->text;
        drawn = LINE_RETRY;
    } else if (!bytes) {
        return;
    } else {
        unsigned long percent = 0;
        if (bytes->value != 0 && bytes->maximum != 0)
            percent = static_cast<unsigned long>(static_cast<double>(bytes->value) * 100 / bytes->maximum);
        if (percent == 100) {
            line += "100% " + messages.get("download_done");
            drawn = LINE_TEXT;
        } else {
            line += std::to_string(percent) + "%";
            drawn = LINE_PERCENT;
        }
    }

    const line_class_t previous = line_class;
    line_class = drawn;
    if (quiet)
        return;
    Log::stream(Log::LEVEL_ERROR, Log::LINE_STATUS) << line;
    // A new kind of information also stays in the log and on consoles that cannot redraw.
    if (drawn != previous)
        Log::stream(Log::statusLinesEnabled() ? 1 : 0, Log::LINE_WHOLE) << line;
}

void DownloadProgressRenderer::update()
{
    render("");
}

void DownloadProgressRenderer::finish(bool success)
{
    if (success)
        render(messages.get("download_completed"));
    if (files->maximum != 0 || !Log::statusLinesEnabled()) {
        if (line_class != LINE_TEXT || files->maximum == 0 || files->value != files->maximum) {
            line_class = LINE_NONE;
            return;
        }
        if (!quiet)
            Log::stream(Log::LEVEL_ERROR, Log::LINE_LAST_STATUS) << messages.get("download_all_done");
    }
    if (!quiet)
        Log::stream(Log::LEVEL_ERROR, Log::LINE_WHOLE);  // an empty line end closes the status line on every sink
    line_class = LINE_NONE;
}

void DownloadProgressRenderer::setQuiet(bool quiet_)
{
    quiet = quiet_;
}
