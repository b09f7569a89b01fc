#include "installer/run_program.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "common/Log.h"
#include "common/Progress.h"
#include "installer/Reporter.h"
#include "installer/SystemExit.h"

namespace driver {

int run_program(const std::function<void(int, char**)>& body, int argc, char** argv)
{
    try {
        body(argc, argv);
    } catch (const SystemExit& exit) {
        return exit.code;
    } catch (const Progress::Interrupted& interrupted) {
        const std::string text = interrupted.message();
        Log::stream(Log::LEVEL_INFO, true) << "Error: " << text;
        std::cout << Reporter(1, text, "user");
        return 2;
    } catch (const std::exception& e) {
        const int error_number = errno;  // before anything else can change it
        std::string text = "Internal error: unexpected exception caught. Description: \"";
        text += e.what();
        text += '"';
        if (error_number != 0)
            text += ", errno=" + std::to_string(error_number) + ": " + std::strerror(error_number);
        Log::stream(Log::LEVEL_INFO, true) << text;
        std::cout << Reporter(1, text.c_str());
        return 1;
    } catch (...) {
        const char* text = "Internal error: unexpected exception caught";
        Log::stream(Log::LEVEL_INFO, true) << text;
        std::cout << Reporter(1, text);
        return 1;
    }
    return 0;
}

}  // namespace driver
