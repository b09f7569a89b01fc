#include "common/error.h"

#include "common/Messages.h"
#include "common/ProgramVersion.h"

namespace {
const Messages messages;
}

error::error() : error(E_UNSET, REP_UNSET, SYS_UNSET, SUPP_UNSET) {}

error::error(int e_class_, int e_rep_, int e_sys_, int e_supp_)
    : parts(1), e_class(e_class_), e_rep(e_rep_), e_sys(e_sys_), e_supp(e_supp_)
{
}

error::~error() = default;

error& error::addMessage(int e_class_, int e_rep_, int e_sys_, int e_supp_)
{
    parts.emplace_back();
    if (e_class == 0)
        e_class = e_class_;
    if (e_rep == 0)
        e_rep = e_rep_;
    if (e_sys == 0)
        e_sys = e_sys_;
    if (e_supp == 0)
        e_supp = e_supp_;
    return *this;
}

std::string error::getText() const
{
    std::string text;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        text += *it + "\n";
    return text;
}

std::string error::getFullText() const
{
    std::string text = getText();
    if (e_class == 2)
        return text;  // users get no advice for their own mistakes

    static const char* const sys_keys[] = {"error_sys_stable", "error_sys_unsure", "error_sys_broken"};
    static const char* const supp_keys[] = {"error_supp_none", "error_supp_maybe", "error_supp_need"};
    if (e_sys >= 1 && e_sys <= 3)
        text += messages.get(sys_keys[e_sys - 1]);
    if (e_rep == 2)
        text += "\n" + messages.get("error_rep_again");
    if (e_supp >= 1 && e_supp <= 3)
        text += "\n" + messages.get(supp_keys[e_supp - 1]);
    return text;
}

const char* error::getClassName() const
{
    static const char* const names[] = {"repository", "user", "internal", "system", "dependencies", "packages"};
    if (e_class >= 1 && e_class <= 6)
        return names[e_class - 1];
    return "e_class broken";
}

bool error::isReported(int channel) const
{
    return reported.count(channel) != 0;
}

void error::setReported(int channel)
{
    reported.insert(channel);
}

void error::setSupportCode(int e_supp_)
{
    e_supp = e_supp_;
}

error internal_error(const char* file, int line, int e_sys)
{
    return error(E_INTERNAL, REP_NONE, e_sys, SUPP_NEED)
           << "An internal error occured in Zanth Installer " << ProgramVersion::version << ", revision "
           << ProgramVersion::revision << ", " << file << ", line " << line << ".";
}
