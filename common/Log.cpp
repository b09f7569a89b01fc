#include "common/Log.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>

#include "common/Messages.h"

int Log::consoleLevel = LEVEL_ERROR;
int Log::mailLevel = LEVEL_INFO;
int Log::fileLevel = LEVEL_VERBOSE;
int Log::captureLevel = LEVEL_ERROR;
bool Log::statusLines = false;
int Log::depth = 0;

namespace {

// Everything behind the log mutex. Allocated once and never freed: threads and the destructors of
// other statics may still log while the process exits.
struct LogState {
    std::recursive_mutex mutex;
    std::ostringstream mail;
    std::unique_ptr<std::ofstream> file;
    std::string file_name;
    std::ostringstream preopen;
    std::ostringstream* capture = nullptr;
    bool at_line_start = true;
    size_t prev_status_length = 0;
    std::string status_cache_locale;
    bool status_cache_answer = false;
    bool status_cache_valid = false;
};

LogState& state()
{
    static LogState* s = new LogState;
    return *s;
}

// Makes the state before main(), so that no thread can race its creation.
const bool state_made_early = (state(), true);

std::string timestampPrefix()
{
    timeval tv;
    gettimeofday(&tv, nullptr);
    tm local;
    localtime_r(&tv.tv_sec, &local);
    char date[32];
    strftime(date, sizeof(date), "%Y-%m-%d %H:%M:%S", &local);
    char prefix[64];
    snprintf(prefix, sizeof(prefix), "[%s.%06ld] ", date, static_cast<long>(tv.tv_usec));
    return prefix;
}

size_t utf8Length(const std::string& text)
{
    size_t n = 0;
    for (char c : text) {
        if (c == '\0')
            break;
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    }
    return n;
}

void writeConsole(const char* data, size_t length)
{
    std::cerr.write(data, static_cast<std::streamsize>(length));
    std::cerr.flush();
}

// The sinks other than the console, each by its threshold.
void writeOtherSinks(int level, const std::string& text)
{
    LogState& s = state();
    if (level <= Log::mailLevel)
        s.mail << text;
    if (level <= Log::fileLevel) {
        if (s.file) {
            *s.file << text;
            s.file->flush();
        } else {
            s.preopen << text;
        }
    }
    if (s.capture && level <= Log::captureLevel)
        *s.capture << text;
}

}  // namespace

std::ostringstream& Log::mailBuffer()
{
    return state().mail;
}

Log::stream::stream(level_t level_, bool whole_line) : stream(level_, whole_line ? LINE_WHOLE : LINE_PART) {}

Log::stream::stream(level_t level_, line_mode_t mode_) : level(level_), mode(mode_), count(0), lock(state().mutex)
{
    start();
}

void Log::stream::start()
{
    LogState& s = state();
    if (level <= fileLevel && s.at_line_start && mode != LINE_STATUS) {
        std::string prefix = timestampPrefix();
        if (s.file)
            *s.file << prefix;
        else
            s.preopen << prefix;
        s.at_line_start = false;
    }
    // The resolver's trial depth marks every statement in the file, whatever its level.
    if (s.file && depth > 0) {
        *s.file << std::string(static_cast<size_t>(depth), '#');
        s.file->flush();
    }
}

Log::stream& Log::stream::write(const std::string& given)
{
    const std::string& text = given.empty() ? std::string("~empty") : given;
    bool console_allowed = mode != LINE_STATUS || statusLinesEnabled();
    if (console_allowed && level <= consoleLevel)
        writeConsole(text.data(), text.size());
    if (mode != LINE_STATUS)
        writeOtherSinks(level, text);
    count += utf8Length(text);
    return *this;
}

void Log::stream::write(const char* data, int length)
{
    if (level > fileLevel || length <= 0)
        return;
    if (level <= consoleLevel && (mode != LINE_STATUS || statusLinesEnabled()))
        writeConsole(data, static_cast<size_t>(length));
    std::string filtered;
    filtered.reserve(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(data[i]);
        if (c == '\n' || (c >= 0x20 && c <= 0x7F))
            filtered += static_cast<char>(c);
    }
    if (mode != LINE_STATUS)
        writeOtherSinks(level, filtered);
    count += utf8Length(filtered);
}

Log::stream::~stream()
{
    LogState& s = state();
    bool enabled = (mode == LINE_STATUS || mode == LINE_LAST_STATUS) && statusLinesEnabled();
    bool ends_line = false;
    if (mode == LINE_WHOLE || (mode == LINE_LAST_STATUS && !enabled)) {
        write(std::string("\n"));
        ends_line = true;
    } else if (mode == LINE_STATUS || mode == LINE_LAST_STATUS) {
        size_t fill = s.prev_status_length > count ? s.prev_status_length - count : 0;
        size_t drawn = count;
        s.prev_status_length = count;
        if (enabled && level <= consoleLevel) {
            std::string tail(fill, ' ');
            tail.append(fill + drawn, '\b');
            writeConsole(tail.data(), tail.size());
        }
        if (mode == LINE_LAST_STATUS) {
            writeOtherSinks(level, "\n");
            ends_line = true;
        }
    }
    if (ends_line && level <= fileLevel)
        s.at_line_start = true;
}

void Log::openFile(const std::string& path, bool truncate)
{
    LogState& s = state();
    s.file.reset();
    mode_t old_mask = umask(077);
    s.file_name = path;
    s.file.reset(new std::ofstream(path, truncate ? std::ios::out | std::ios::trunc : std::ios::out | std::ios::app));
    *s.file << s.preopen.str();
    s.file->flush();
    s.preopen.str(std::string());
    s.preopen.clear();
    umask(old_mask);
}

std::string Log::getFileName()
{
    std::lock_guard<std::recursive_mutex> guard(state().mutex);
    return state().file_name;
}

bool Log::statusLinesEnabled()
{
    if (!statusLines)
        return false;
    std::lock_guard<std::recursive_mutex> guard(state().mutex);
    LogState& s = state();
    const std::string locale = Messages().getLocale();
    if (s.status_cache_valid && s.status_cache_locale == locale)
        return s.status_cache_answer;
    static const char* const drawable[] = {"C",     "POSIX", "en_US", "ar",    "ca_ES", "cs_CZ", "da_DK", "de_DE",
                                           "el_GR", "es_ES", "fi_FI", "fr_FR", "he_IL", "hu_HU", "id_ID", "it_IT",
                                           "ms_MY", "nb_NO", "nl_NL", "pl_PL", "pt_BR", "pt_PT", "ro_RO", "ru_RU",
                                           "sv_SE", "tl_PH", "tr_TR", "uk_UA", "vi_VN"};
    const std::string base = locale.substr(0, locale.find('.'));
    bool answer = false;
    for (const char* name : drawable)
        answer = answer || base == name;
    s.status_cache_locale = locale;
    s.status_cache_answer = answer;
    s.status_cache_valid = true;
    return answer;
}

Log::ConsoleMessages::ConsoleMessages() : pos(0), start(0)
{
    std::lock_guard<std::recursive_mutex> guard(state().mutex);
    LogState& s = state();
    delete s.capture;
    s.capture = new std::ostringstream;
    if (s.file)
        start = s.file->tellp();
}

Log::ConsoleMessages::~ConsoleMessages()
{
    std::lock_guard<std::recursive_mutex> guard(state().mutex);
    LogState& s = state();
    delete s.capture;
    s.capture = nullptr;
}

std::string Log::ConsoleMessages::get_text()
{
    std::lock_guard<std::recursive_mutex> guard(state().mutex);
    const std::string text = state().capture->str();
    pos = std::min<size_t>(text.size(), 0x40000);
    return text.substr(0, pos);
}

std::string Log::ConsoleMessages::get_new_lines()
{
    std::lock_guard<std::recursive_mutex> guard(state().mutex);
    const std::string text = state().capture->str();
    size_t last = text.rfind('\n');
    if (last == std::string::npos || last < pos)
        return std::string();
    std::string lines = text.substr(pos, last + 1 - pos);
    pos = last + 1;
    return lines;
}

std::string Log::ConsoleMessages::get_log(std::fstream::pos_type max)
{
    std::fstream::pos_type end;
    std::string path;
    {
        std::lock_guard<std::recursive_mutex> guard(state().mutex);
        if (!state().file)
            return std::string();
        end = state().file->tellp();
        path = state().file_name;
    }
    std::ifstream in(path);
    in.seekg(start);
    if (end - start > max) {
        in.seekg(end - max);
        for (int skipped = 0; skipped < 300; ++skipped) {
            int c = in.get();
            if (c == EOF || c == '\n')
                break;
        }
    }
    std::ostringstream rest;
    rest << in.rdbuf();
    return rest.str();
}
