#include "installer/StatusReporter.h"

#include <tinyxml.h>

#include <cstring>

#include "common/Progress.h"
#include "common/tinybind.h"

namespace {

// The record's texts are cut to fit, but a writer of another build might leave one unterminated.
std::string text(const char* field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

void fillProgress(TiXmlElement* progress, const ProgressStatus& record)
{
    if (record.finished)
        progress->SetAttribute("finished", "true");
    if (record.failed) {
        progress->SetAttribute("failed", "true");
        tinybind::add_text_child(progress, "error", text(record.error, sizeof(record.error)));
    }
    TiXmlElement* stage = new TiXmlElement("stage");
    stage->SetAttribute("stage", std::to_string(record.stage));
    stage->SetAttribute("stage_n", std::to_string(record.stage_n));
    stage->SetAttribute("id", text(record.stage_id, sizeof(record.stage_id)));
    stage->SetAttribute("title", text(record.stage_title, sizeof(record.stage_title)));
    progress->LinkEndChild(stage);
    TiXmlElement* step = new TiXmlElement("step");
    step->SetAttribute("step", std::to_string(record.step));
    step->SetAttribute("step_n", std::to_string(record.step_n));
    step->SetAttribute("id", text(record.step_id, sizeof(record.step_id)));
    step->SetAttribute("title", text(record.step_title, sizeof(record.step_title)));
    progress->LinkEndChild(step);
}

}  // namespace

StatusReporter::StatusReporter(int status_, const std::string& message_) : Reporter(status_, message_, nullptr) {}

std::ostream& StatusReporter::put(std::ostream& out) const
{
    ProgressStatusGuard guard;
    const ProgressStatus& record = guard.data();
    if (xmlOutput) {
        TiXmlElement progress("progress");
        fillProgress(&progress, record);
        return putXml(out, &progress);
    }
    Reporter::put(out) << "\n";
    if (record.finished) {
        if (record.failed)
            out << "Kitwright failed: " << text(record.error, sizeof(record.error)) << "\n";
        else
            out << "Kitwright finished. \n";
        out << "\n";
    }
    if (record.stage != 0) {
        out << "Overall progress: " << record.stage << "/" << record.stage_n << ": - "
            << text(record.stage_title, sizeof(record.stage_title)) << "\n";
        out << "Current step: " << record.step << "/" << record.step_n << ": - "
            << text(record.step_title, sizeof(record.step_title)) << "\n";
    }
    return out;
}
