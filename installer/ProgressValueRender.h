#ifndef KW_INSTALLER_PROGRESSVALUERENDER_H
#define KW_INSTALLER_PROGRESSVALUERENDER_H

#include <string>
#include <vector>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include "common/error.h"

// Something that draws observed counters.
class ProgressValueObserver {
public:
    virtual ~ProgressValueObserver() = default;
    virtual void update() = 0;
};

// An observed counter. Producers write the fields directly and then call notify().
template <typename T>
class ProgressValue {
public:
    T value = 0;
    T maximum = 0;  // 0: no known maximum
    std::string text;
    std::vector<boost::weak_ptr<ProgressValueObserver>> observers;

    void addObserver(const boost::weak_ptr<ProgressValueObserver>& observer)
    {
        boost::shared_ptr<ProgressValueObserver> wanted = observer.lock();
        for (const auto& known : observers)
            if (wanted && known.lock() == wanted)
                return;
        observers.push_back(observer);
    }

    // Sets the value; a value above a known maximum is a fault of the producer.
    void setValue(T new_value)
    {
        if (maximum != 0 && new_value > maximum)
            throw KW_INTERNAL_ERROR();
        value = new_value;
    }

    // Tells the live observers, unless this state equals the last one notified by any counter.
    void notify(bool force)
    {
        State& last = lastNotified();
        if (!force && value == last.value && maximum == last.maximum && text == last.text)
            return;
        for (const auto& weak : observers)
            if (boost::shared_ptr<ProgressValueObserver> observer = weak.lock())
                observer->update();
        last.value = value;
        last.maximum = maximum;
        last.text = text;
    }

private:
    struct State {
        T value = 0;
        T maximum = 0;
        std::string text;
    };

    // Shared by all counters of the type, so that one change seen through two counters draws once.
    static State& lastNotified()
    {
        static State* state = new State;
        return *state;
    }
};

// Draws the one-line progress of file downloads from a file counter and, while a download is
// attached, its retry and byte counters. Always held by a shared pointer (see create()).
class DownloadProgressRenderer : public ProgressValueObserver,
                                 public boost::enable_shared_from_this<DownloadProgressRenderer> {
public:
    typedef ProgressValue<unsigned long> counter_t;
    typedef boost::shared_ptr<counter_t> counter_ptr;

    // The kind of the last line written, so that a change of kind is also written as a whole line.
    enum line_class_t { LINE_NONE = 0, LINE_PERCENT = 1, LINE_RETRY = 2, LINE_TEXT = 3 };

    // The scope of one file's download: counts and names the file, and ends its line when left.
    class FileGuard {
    public:
        FileGuard(boost::shared_ptr<DownloadProgressRenderer> renderer, const std::string& name);
        ~FileGuard();
        FileGuard(const FileGuard&) = delete;
        FileGuard& operator=(const FileGuard&) = delete;

        bool success = false;

    private:
        boost::shared_ptr<DownloadProgressRenderer> renderer;
    };

    static boost::shared_ptr<DownloadProgressRenderer> create();

    void setFilesProgress(const counter_ptr& files_counter);
    void attach(const counter_ptr& bytes_counter, const counter_ptr& retries_counter);
    void render(const std::string& text);
    void update() override;
    void finish(bool success);

    // A quiet renderer keeps counting but writes no lines: for fetches the user need not watch.
    void setQuiet(bool quiet);

    line_class_t line_class = LINE_NONE;
    counter_ptr files;
    counter_ptr retries;
    counter_ptr bytes;

private:
    DownloadProgressRenderer() = default;

    bool quiet = false;
};

#endif
