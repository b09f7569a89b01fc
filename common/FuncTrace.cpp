#include "common/FuncTrace.h"

#include <exception>

#include "common/Log.h"

FuncTrace::FuncTrace(const std::string& name_, int) : name(name_), exceptions(std::uncaught_exceptions())
{
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: function entry [" << name << "]";
}

FuncTrace::~FuncTrace()
{
    const bool unwinding = std::uncaught_exceptions() > exceptions;
    Log::stream(Log::LEVEL_DEBUG, true) << (unwinding ? "DEBUG: function exception [" : "DEBUG: function return [")
                                        << name << "]";
}
