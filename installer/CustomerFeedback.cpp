#include "installer/CustomerFeedback.h"

#include <fstream>
#include <iterator>

#include <boost/filesystem.hpp>

#include "common/fileops.h"
#include "common/textutils.h"
#include "installer/Options.h"

namespace {

bool allowed = true;
bool nonInteractiveRun = false;

std::string flagPath(const char* name)
{
    return std::string(CustomerFeedback::DIRECTORY) + "/" + name;
}

void writeSetting(const char* name, const std::string& text)
{
    boost::filesystem::create_directories(CustomerFeedback::DIRECTORY);
    std::ofstream(flagPath(name), std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

void CustomerFeedback::setAllowed(bool allowed_)
{
    allowed = allowed_;
}

bool CustomerFeedback::isAllowed()
{
    return allowed;
}

void CustomerFeedback::setNonInteractiveRun()
{
    nonInteractiveRun = true;
}

void CustomerFeedback::setEnabled(bool enabled)
{
    const std::string enabledFlag = flagPath("feedback-enabled");
    const std::string disabledFlag = flagPath("feedback-disabled");
    const std::string directory = fileops::dirname(enabledFlag);
    if (!fileops::exists(directory))
        fileops::create_directory(directory);
    // The refusal is written before the permission goes, so no moment between leaves reports allowed.
    if (enabled) {
        fileops::remove(disabledFlag);
        fileops::create_empty_file(enabledFlag);
    } else {
        fileops::create_empty_file(disabledFlag);
        fileops::remove(enabledFlag);
    }
}

int CustomerFeedback::getState()
{
    if (fileops::exists(flagPath("feedback-disabled")))
        return DISABLED;
    if (fileops::exists(flagPath("feedback-enabled")))
        return ENABLED;
    return UNDECIDED;
}

bool CustomerFeedback::isEnabled()
{
    return getState() == ENABLED;
}

bool CustomerFeedback::isUndecided()
{
    return getState() == UNDECIDED;
}

bool CustomerFeedback::shouldSend()
{
    if (!allowed)
        return false;
    switch (getState()) {
    case ENABLED: return true;
    case UNDECIDED: return nonInteractiveRun;
    default: return false;
    }
}

void CustomerFeedback::setProduct(const std::string& product)
{
    writeSetting("feedback-product", product);
}

void CustomerFeedback::setGroupId(const std::string& groupId)
{
    writeSetting("feedback-group-id", groupId);
}

std::string CustomerFeedback::getProduct()
{
    std::string product;
    try {
        std::ifstream in(flagPath("feedback-product"), std::ios::binary);
        product = trim(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    } catch (const std::exception&) {
        // A read error (a directory at the name) counts as no product.
        product.clear();
    }
    return product.empty() ? Options::DEFAULT_PRODUCT : product;
}
