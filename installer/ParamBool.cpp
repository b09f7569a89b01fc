#include "installer/ParamBool.h"

#include "common/error.h"
#include "common/textutils.h"

int ParamBool::truth(std::string text)
{
    to_lower_in_place(text);
    if (text == "true" || text == "y" || text == "yes")
        return 1;
    if (text == "false" || text == "n" || text == "no")
        return 0;
    return -1;
}

bool ParamBool::validate(const std::string& text_)
{
    return truth(text_) >= 0;
}

void ParamBool::store(const std::string& text_)
{
    const int answer = truth(text_);
    if (answer < 0)
        throw KW_INTERNAL_ERROR();
    Param::store(answer ? "true" : "false");
}
