#include "installer/ExecXmlOutputDetector.h"

#include <exception>
#include <sstream>

#include <boost/thread/exceptions.hpp>

#include "common/Log.h"
#include "common/POpen.h"
#include "common/Progress.h"
#include "common/error.h"
#include "common/textutils.h"

namespace Detecting {

ExecXmlOutputDetector::ExecXmlOutputDetector(const std::string& commandLine_, const std::string& valueAttr_)
    : commandLine(commandLine_), valueAttr(valueAttr_)
{
}

std::string ExecXmlOutputDetector::detect(bool& found)
{
    found = false;
    std::ostringstream output;
    std::string reason;
    try {
        if (exec_command(commandLine, false, true, &output) != 0)
            return std::string();
        tinybind::Document document;
        document.parse_text(output.str());
        TiXmlElement* root = document.RootElement();
        if (!root) {
            throw error() << "no XML root node in output";
        }
        const std::string value = tinybind::get_optional_attribute(root, valueAttr);
        found = !value.empty();
        return value;
    } catch (const Progress::Interrupted&) {
        throw;  // the user's stop is acted on once only: it must reach the flow
    } catch (const boost::thread_interrupted&) {
        throw;
    } catch (const error& e) {
        reason = trim_right(e.getText());  // one line: without the line end after the last part
    } catch (const tinybind::err& e) {
        reason = e.message;
    } catch (const std::exception& e) {
        reason = e.what();
    } catch (...) {
        reason = "unexpected error";
    }
    // One piece: an empty output must not show as the log's mark for an empty text.
    Log::stream(Log::LEVEL_DEBUG, true) << "Execution of " + commandLine + " failed: " + reason +
                                               ". Output: " + output.str();
    return std::string();
}

}  // namespace Detecting
