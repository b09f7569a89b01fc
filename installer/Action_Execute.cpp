#include "installer/Action_Execute.h"

#include <sstream>

#include "common/Log.h"
#include "common/POpen.h"
#include "common/Package.h"
#include "common/Stopwatch.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "common/tinybind.h"
#include "installer/ReportError.h"

void Action_Execute::load(TiXmlElement* element, const Package* package)
{
    loadBase(element, package);
    program = tinybind::get_attribute(element, "program");
    command_line = tinybind::get_attribute(element, "command-line");
    working_dir = tinybind::get_optional_attribute(element, "working-dir");
    context = tinybind::get_optional_attribute(element, "context");
    arch = tinybind::get_optional_attribute(element, "arch");
}

int Action_Execute::execute()
{
    const std::string expanded_command_line = expand(command_line);
    const std::string expanded_program = expand(program);
    const std::string expanded_working_dir = expand(working_dir);
    const std::string description = "program='" + program + "', command-line='" + expanded_command_line +
                                    "', working-dir='" + expanded_working_dir + "', context='" + context + "', arch='" +
                                    arch + "'";
    Stopwatch watch;
    watch.start();
    // The command line is shell text on purpose; the program is one word, whatever its path holds.
    std::istringstream input;
    std::ostringstream output, errors;
    POpen child(shell_double_quote(expanded_program) + " " + expanded_command_line, &input, &output, &errors,
                expanded_working_dir);
    const int status = child.wait(false);
    std::string captured = output.str();
    if (!errors.str().empty())
        captured += "\nSTDERR:" + errors.str();
    // One text: the log marks an empty piece written on its own.
    std::ostringstream line;
    line << "Package action: Execute, package: " << package->getName() << ", exec time: " << watch.elapsed()
         << " sec. desc: " << description << ", output='" << captured << "'";
    Log::stream(Log::LEVEL_VERBOSE, true) << line.str();
    if (status != 0)
        ReportError::create(Log::LEVEL_ERROR)
            << format_message("%s %s failed with error %d(0x%08x). Output: %s", expanded_program, expanded_command_line,
                              status, status, captured)
            << std::endl;
    return status;
}
