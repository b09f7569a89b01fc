#include "installer/CommandDescription.h"

#include <algorithm>
#include <map>
#include <vector>

#include <boost/format.hpp>
#include <boost/program_options/value_semantic.hpp>

#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/Options.h"
#include "installer/Reporter.h"

namespace po = boost::program_options;

namespace {

// A command's own option group, the message keys of its description and its synopsis.
struct Command {
    const char* group;              // null: no group of its own
    std::vector<const char*> text;  // keys; "" stands for a line break between two of them
    const char* synopsis;
};

const std::map<std::string, Command>& commands()
{
    static const std::map<std::string, Command> table = {
        {"version", {nullptr, {"usage_cmd_version"}, ""}},
        {"help", {nullptr, {"usage_cmd_help"}, "[COMMAND] [--verbose | -v]"}},
        {"list-all", {nullptr, {"usage_cmd_list_all"}, ""}},
        {"list",
         {"list",
          {"usage_cmd_list", "", "usage_selector", "usage_cmd_list_tail"},
          "[SELECTOR ...] [(--presets | --components [--options])]"}},
        {"install",
         {"install",
          {"usage_cmd_install", "", "usage_components", "usage_selector", "usage_cmd_install_tail"},
          "[SELECTOR ...] [(--preset PRESET [--with COMPONENTS] [--without COMPONENTS] | --components COMPONENTS)]"}},
        {"upgrade", {"upgrade", {"usage_cmd_upgrade", "", "usage_selector", "usage_cmd_upgrade_tail"}, "SELECTOR ..."}},
        {"update",
         {"update", {"usage_cmd_update", "", "usage_product", "usage_cmd_update_tail"}, "[PRODUCT] [--panel-only]"}},
        {"add",
         {"add/remove",
          {"usage_cmd_add", "", "usage_components", "usage_product", "usage_cmd_add_remove_tail"},
          "[PRODUCT] --components COMPONENTS"}},
        {"remove",
         {"add/remove",
          {"usage_cmd_remove", "", "usage_components", "usage_product", "usage_cmd_add_remove_tail"},
          "[PRODUCT] --components COMPONENTS"}},
        {"stop", {"stop", {"usage_cmd_stop"}, "[--terminate]"}},
    };
    return table;
}

// The keys joined: one line break between two texts, two where the list holds "".
std::string commandText(const std::vector<const char*>& keys)
{
    std::string text;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0)
            text += "\n";
        if (*keys[i])
            text += Messages().get(keys[i]);
    }
    return text;
}

// The example values of the help texts, for texts that use any of them.
std::string withExamples(const std::string& text)
{
    boost::format format;
    format.exceptions(boost::io::all_error_bits & ~boost::io::too_many_args_bit);
    format.parse(text);
    return (format % Options::DEFAULT_PRODUCT % "12.5.30" % "ZANTH_12_5_30").str();
}

// Builds the groups of one command for one verbosity.
class Groups {
public:
    Groups(Options& options_, bool verbose_, bool detectedDefaults_)
        : o(options_), verbose(verbose_), detectedDefaults(detectedDefaults_)
    {
    }

    po::options_description group(const char* captionKey) const
    {
        // The layout needs room for the description column (41 at least).
        return po::options_description(Messages().get(captionKey), std::max(o.terminalWidth, 42), 40);
    }

    po::typed_value<bool>* flag(bool* member) const { return po::bool_switch(member)->default_value(*member); }

    po::options_description download() const
    {
        po::options_description g = group("usage_hdr_download_opts");
        Options& options = o;
        g.add_options()(
            "source",
            po::value<std::string>()->notifier([&options](const std::string& text) { options.source.assign(text); }),
            text("usage_opt_source"))("target", po::value<std::string>(&o.target), text("usage_opt_target"))(
            "tries", po::value<int>(&o.downloadRetries)->default_value(o.downloadRetries)->notifier([](int tries) {
                if (tries < 1)
                    throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE)
                        << format_message(Messages().get("err_retry_arg"), "--tries");
            }),
            text("usage_opt_tries"));
        if (verbose)
            g.add_options()("ext-catalog-url", po::value<std::string>(&o.extCatalogUrl), text("usage_opt_ext"));
        return g;
    }

    po::options_description proxy() const
    {
        po::options_description g = group("usage_hdr_proxy_opts");
        g.add_options()("proxy-host", po::value<std::string>(&o.proxy.host), text("usage_opt_proxy_host"))(
            "proxy-port", po::value<int>(&o.proxy.port), text("usage_opt_proxy_port"))(
            "proxy-user", po::value<std::string>(&o.proxy.user), text("usage_opt_proxy_user"))(
            "proxy-password", po::value<std::string>(&o.proxy.password), text("usage_opt_proxy_pass"));
        return g;
    }

    po::options_description environment() const
    {
        po::options_description g = group("usage_hdr_env_opts");
        const std::vector<std::pair<const char*, std::string*>> overrides = {
            {"override-os-name", &Opsys::overrideName},
            {"override-os-vendor", &Opsys::overrideVendor},
            {"override-os-version", &Opsys::overrideVersion},
            {"override-os-arch", &Opsys::overrideArch},
            {"override-environment", &Opsys::overrideEnvironment}};
        const std::vector<const char*> keys = {"usage_opt_override_os_name", "usage_opt_override_os_vendor",
                                               "usage_opt_override_os_version", "usage_opt_override_os_arch",
                                               "usage_opt_override_env"};
        std::vector<std::string> detected(overrides.size());
        if (detectedDefaults) {
            const Opsys system;
            detected = {system->name, system->vendor, system->version, system->arch, system->environment};
        }
        for (size_t i = 0; i < overrides.size(); ++i) {
            po::typed_value<std::string>* value = po::value<std::string>(overrides[i].second);
            if (detectedDefaults)
                value->default_value(detected[i]);
            g.add_options()(overrides[i].first, value, text(keys[i]));
        }
        return g;
    }

    po::options_description skip() const
    {
        po::options_description g = group("usage_hdr_skip_opts");
        g.add_options()("skip-components-check", flag(&o.skipComponentsCheck), text("usage_opt_skip_examine"));
        if (verbose)
            g.add_options()("skip-gpg-check", flag(&o.skipGpgCheck), text("usage_opt_skip_gpg"))(
                "skip-cleanup", flag(&o.skipCleanup), text("usage_opt_skip_cleanup"))(
                "disable-self-upgrade", flag(&o.disableSelfUpgrade), text("usage_opt_no_self_upgrade"));
        return g;
    }

    po::options_description general() const
    {
        po::options_description g = group("usage_hdr_general_opts");
        g.add_options()("help", text("usage_opt_help"))("xml", flag(&Reporter::xmlOutput), text("usage_opt_xml"))(
            "debug", flag(&o.debug), text("usage_opt_debug"))("truncate-log", flag(&o.truncateLog),
                                                              text("usage_opt_truncate_log"))(
            "separate-logs", flag(&o.separateLogs), text("usage_opt_separate_log"))(
            "email", po::value<std::string>(&o.notifyEmail), text("usage_opt_email"));
        if (verbose)
            addHelpVerbosity(g);
        return g;
    }

    po::options_description basicGeneral() const
    {
        po::options_description g = group("usage_hdr_general_opts");
        g.add_options()("help", text("usage_opt_help"));
        if (verbose) {
            g.add_options()("debug", flag(&o.debug), text("usage_opt_debug"));
            addHelpVerbosity(g);
            g.add_options()("disable-self-upgrade", flag(&o.disableSelfUpgrade), text("usage_opt_no_self_upgrade"));
        }
        return g;
    }

    po::options_description own(const std::string& name) const
    {
        po::options_description g = group("usage_hdr_command_opts");
        const auto list = [] { return po::value<std::vector<std::string>>()->multitoken()->value_name("name ..."); };
        if (name == "list")
            g.add_options()("presets", po::bool_switch(), text("usage_opt_list_presets"))(
                "components", po::bool_switch(), text("usage_opt_list_components"))(
                "sources", po::bool_switch(), text("usage_opt_list_sources"))("options", flag(&o.showOptions),
                                                                              text("usage_opt_list_options"));
        else if (name == "install")
            g.add_options()("preset", po::value<std::string>(), text("usage_opt_install_preset"))(
                "with", list(), text("usage_opt_install_with"))("without", list(), text("usage_opt_install_without"))(
                "components", list(), text("usage_opt_install_components"))(
                "options", po::value<std::vector<std::string>>()->multitoken()->value_name("name=value ..."),
                text("usage_opt_install_options"))("dry-run", po::bool_switch(), text("usage_opt_dry_run"));
        else if (name == "upgrade")
            g.add_options()("dry-run", po::bool_switch(), text("usage_opt_dry_run"));
        else if (name == "update")
            g.add_options()("panel-only", po::bool_switch(), text("usage_opt_update_panel_only"))(
                "dry-run", po::bool_switch(), text("usage_opt_dry_run"));
        else if (name == "add/remove")
            g.add_options()("components", list()->required(), text("usage_opt_addremove_components"))(
                "dry-run", po::bool_switch(), text("usage_opt_dry_run"));
        else if (name == "stop")
            g.add_options()("terminate", flag(&o.stopTerminate), text("usage_opt_stop_terminate"));
        return g;
    }

private:
    static const char* text(const char* key) { return Messages().get(key).c_str(); }

    void addHelpVerbosity(po::options_description& g) const
    {
        g.add_options()("verbose,v", po::value<uint64_t>(&o.helpVerbosity)->implicit_value(1),
                        text("usage_opt_verbose"))("completion,c", po::bool_switch(), text("usage_opt_completion"));
    }

    Options& o;
    bool verbose;
    bool detectedDefaults;
};

}  // namespace

bool CommandDescription::isCommand(const std::string& name)
{
    return commands().count(name) != 0;
}

CommandDescription::CommandDescription(Options& o, const std::string& name, uint64_t verbosity, bool detectedDefaults)
    : options(80, 40)
{
    const auto found = commands().find(name);
    if (found == commands().end())
        throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(Messages().get("err_opt_unknown_command"), name);
    const Command& command = found->second;
    synopsis = command.synopsis;
    description = withExamples(commandText(command.text));

    const Groups groups(o, verbosity > 1, detectedDefaults);
    if (command.group)
        options.add(groups.own(command.group));
    const bool basic = name == "version" || name == "help" || name == "stop";
    if (verbosity == 0)
        verboseHint = Messages().get("usage_verbose");
    if (basic) {
        options.add(groups.basicGeneral());
    } else if (verbosity > 0) {
        options.add(groups.download());
        options.add(groups.proxy());
        options.add(groups.environment());
        if (!(verbosity == 1 && (name == "list" || name == "list-all")))
            options.add(groups.skip());
        options.add(groups.general());
    }
    if (verbosity < 100)
        return;
    options.add_options()("command", po::value<std::string>(&o.commandName)->required());
    positional.add("command", 1);
    if (name != "version" && name != "list-all") {
        options.add_options()("selector", po::value<std::vector<std::string>>(&o.selectors));
        positional.add("selector", -1);
    }
}
