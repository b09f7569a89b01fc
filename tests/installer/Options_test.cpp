#include "installer/Options.h"

#include <gtest/gtest.h>

namespace {

TEST(Options, WhetherTheRunNeedsTheExtensionCatalogue)
{
    typedef Options::ComponentsSelection S;
    struct Case {
        Options::WorkMode mode;
        int command;
        int operation;
        std::vector<int> selections;
        bool notNeeded;
    };
    const Case cases[] = {
        {Options::INTERACTIVE_CONSOLE, 0, 0, {}, false},
        {Options::INTERACTIVE_WEB_UI, 0, 0, {}, false},
        {Options::SERVICE, 0, 0, {}, true},
        {Options::VERSION, Options::INSTALL, Options::INSTALL_COMMAND, {}, true},
        {Options::STOP, 0, 0, {}, true},
        {Options::NON_INTERACTIVE, Options::SHOW_COMPONENTS, 0, {}, false},
        {Options::NON_INTERACTIVE, Options::SHOW_RELEASES, 0, {}, true},
        {Options::NON_INTERACTIVE, Options::SHOW_PACKAGES, Options::INSTALL_COMMAND, {}, false},
        {Options::NON_INTERACTIVE, Options::SHOW_PACKAGES, Options::ADD_REMOVE_COMMAND, {}, false},
        {Options::NON_INTERACTIVE, Options::SHOW_PACKAGES, Options::UPGRADE_COMMAND, {}, true},
        {Options::NON_INTERACTIVE, Options::INSTALL, Options::UPDATE_COMMAND, {}, true},
        {Options::NON_INTERACTIVE, Options::INSTALL, 0, {S::REMOVE_EVERYTHING, S::UPGRADE_INSTALLED}, true},
        {Options::NON_INTERACTIVE, Options::INSTALL, 0, {S::UPGRADE_INSTALLED, S::LISTED_COMPONENTS}, false},
        {Options::NON_INTERACTIVE, Options::INSTALL, 0, {0}, false},
    };
    Options& options = Options::instance();
    for (const Case& c : cases) {
        options.workMode = c.mode;
        options.command = Options::CliCommand(c.command);
        options.commandOperation = Options::CommandOperation(c.operation);
        options.componentSelections.clear();
        for (size_t i = 0; i < c.selections.size(); ++i)
            options.componentSelections["product" + std::to_string(i)].mode = c.selections[i];
        EXPECT_EQ(options.isExtCatalogNotNeeded(), c.notNeeded)
            << "mode " << c.mode << ", command " << c.command << ", operation " << c.operation;
    }
    options.workMode = Options::INTERACTIVE_CONSOLE;
    options.command = Options::CliCommand(0);
    options.commandOperation = Options::CommandOperation(0);
    options.componentSelections.clear();
}

}  // namespace
