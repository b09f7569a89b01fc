#include "installer/ParamEnum.h"

bool ParamEnum::validate(const std::string& text_)
{
    for (const choices_t::value_type& choice : choices)
        if (choice.first == text_)
            return true;
    return false;
}
