#include "common/Messages.h"

#include <cstdlib>
#include <iostream>
#include <thread>

#include <gtest/gtest.h>

#include "common/Log.h"
#include "tests/support/ChildProcess.h"

namespace {

// Runs a catalog check in a child with the given environment; warnings reach standard error.
ChildResult inEnvironment(std::vector<std::pair<std::string, const char*>> env, const std::function<void()>& body)
{
    ChildOptions options;
    options.env = {{"LC_ALL", nullptr}, {"LANG", nullptr}, {"LANGUAGE", nullptr}};
    options.env.insert(options.env.end(), env.begin(), env.end());
    return runInChild(
        [&body] {
            Log::consoleLevel = 3;
            body();
            return 0;
        },
        options);
}

const char* envOr(const char* name, const char* fallback)
{
    const char* value = getenv(name);
    return value ? value : fallback;
}

const std::string kUnsupported =
    "Supported locales are: ar_*.UTF-8 ca_ES.UTF-8 cs_CZ.UTF-8 da_DK.UTF-8 de_DE.UTF-8 el_GR.UTF-8 en_US.UTF-8 "
    "es_ES.UTF-8 fi_FI.UTF-8 fr_FR.UTF-8 he_IL.UTF-8 hu_HU.UTF-8 id_ID.UTF-8 it_IT.UTF-8 ja_JP.UTF-8 ko_KR.UTF-8 "
    "ms_MY.UTF-8 nb_NO.UTF-8 nl_NL.UTF-8 pl_PL.UTF-8 pt_BR.UTF-8 pt_PT.UTF-8 ro_RO.UTF-8 ru_RU.UTF-8 sv_SE.UTF-8 "
    "th_TH.UTF-8 tl_PH.UTF-8 tr_TR.UTF-8 uk_UA.UTF-8 vi_VN.UTF-8 zh_CN.UTF-8 zh_TW.UTF-8 \n";

TEST(MessagesTest, DefaultCatalogFromTheEnvironment)
{
    struct Case {
        std::vector<std::pair<std::string, const char*>> env;
        std::string locale;  // the catalog's locale name
        bool unsupported;    // the two warnings
        bool invalid;        // the environment's locale was refused: LC_ALL=C, LANG=C
    };
    const Case cases[] = {
        {{{"LANG", "de_DE.UTF-8"}}, "de_DE.UTF-8", false, false},
        {{{"LANG", "de_DE.utf8"}}, "en_US", true, false},
        {{{"LC_ALL", "ar_EG.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, "ar", false, false},
        {{{"LANG", "C"}}, "C", false, false},
        {{}, "C", false, false},
        {{{"LANG", "xx_YY.UTF-8"}}, "en_US", true, true},
    };
    for (const Case& c : cases) {
        ChildResult r = inEnvironment(c.env, [] {
            std::cout << Messages().getLocale() << "|" << envOr("LC_ALL", "-") << "|" << envOr("LANG", "-");
        });
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const std::string lang = c.env.empty() ? "-" : c.env.back().second;
        const std::string lc_all = c.env.size() > 1 ? c.env.front().second : "-";
        EXPECT_EQ(r.out, c.locale + "|" + (c.invalid ? "C|C" : lc_all + "|" + lang)) << lang;
        EXPECT_EQ(r.err.find("Can't create locale object, check your locale settings.\nKitwright will use en_US "
                             "locale.\n") != std::string::npos,
                  c.invalid)
            << r.err;
        EXPECT_EQ(r.err.find(kUnsupported) != std::string::npos, c.unsupported) << r.err;
        if (!c.invalid) {
            EXPECT_NE(r.err.find("Environment locale name is '"), std::string::npos) << r.err;
        }
    }
}

TEST(MessagesTest, LocaleNamesMatchedByTheCatalog)
{
    const std::pair<const char*, const char*> cases[] = {{"ar_EG.UTF-8", "ar"},
                                                         {"ar_EGY.UTF-8", "en_US"},
                                                         {"ar.UTF-8", "ar.UTF-8"},
                                                         {"ja_JP.UTF-8", "ja_JP.UTF-8"},
                                                         {"ja_JP.utf8", "en_US"},
                                                         {"POSIX", "POSIX"},
                                                         {"en_US.UTF-8", "en_US.UTF-8"},
                                                         {"", "en_US"},
                                                         {"de_DE", "en_US"}};
    for (const auto& c : cases) {
        ChildResult r = runInChild([&c] {
            std::cout << Messages::messages_rep(c.first).locale;
            return 0;
        });
        EXPECT_EQ(r.out, c.second) << c.first;
    }
}

TEST(MessagesTest, MissingKeyWarnsOnce)
{
    ChildResult r = inEnvironment({{"LANG", "C"}}, [] {
        const Messages messages;
        std::cout << messages.get("no_such_key") << "|" << messages.get(std::string("no_such_key"));
    });
    EXPECT_EQ(r.out, "no_such_key_(non_localized)|no_such_key_(non_localized)");
    const std::string warning = "Warning: unlocalized key no_such_key\n";
    EXPECT_NE(r.err.find(warning), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(warning), r.err.rfind(warning)) << r.err;
}

TEST(MessagesTest, SetLocaleNormalisesAndExports)
{
    struct Case {
        const char* requested;
        std::string locale;  // the catalog's locale name
        std::string exported;
    };
    const Case cases[] = {
        {"pt-BR", "pt_BR.UTF-8", "pt_BR.UTF-8"},
        {"de_DE", "de_DE.UTF-8", "de_DE.UTF-8"},
        {"ar_EG", "ar", "ar_EG.UTF-8"},
        {"en_US", "en_US.UTF-8", "en_US.UTF-8"},
        {"", "en_US", ""},     // the empty name stands for the environment's locale
        {"xx", "en_US", "C"},  // a locale the system lacks: no exception, children get C
        {"zz_ZZ.UTF-8", "en_US", "C"},
    };
    for (const Case& c : cases) {
        ChildResult r = inEnvironment({{"LANG", "C"}}, [&c] {
            Messages::setLocale(c.requested);
            std::cout << Messages().getLocale() << "|" << envOr("LC_ALL", "-") << "|" << envOr("LANG", "-");
        });
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, c.locale + "|" + c.exported + "|" + c.exported) << c.requested;
        EXPECT_EQ(r.err.find("is not valid, use 'C' instead") != std::string::npos, c.exported == "C") << r.err;
    }
    ChildResult invalid = inEnvironment({{"LANG", "C"}}, [] { Messages::setLocale("xx"); });
    EXPECT_NE(invalid.err.find("Messages::setLocale: try to create object for locale: xx.UTF-8\n"), std::string::npos);
    EXPECT_NE(invalid.err.find("Warning: locale name xx.UTF-8 is not valid, use 'C' instead\n"), std::string::npos);
    EXPECT_NE(invalid.err.find("DEBUG: Messages::setLocale: updated locale in environment to: C\n"), std::string::npos);
}

TEST(MessagesTest, ReplacedCatalogTextsStayValid)
{
    ChildResult r = inEnvironment({{"LANG", "C"}}, [] {
        const Messages messages;
        const std::string& kept = messages.get("user_canceled");
        const std::string copy = kept;
        std::thread reader([&messages] {
            for (int i = 0; i < 2000; ++i)
                if (messages.get("error_sys_stable").empty())
                    std::cout << "empty text\n";
        });
        for (int i = 0; i < 50; ++i)
            Messages::setLocale(i % 2 ? "de_DE" : "en_US");
        reader.join();
        std::cout << (kept == copy ? "kept" : "lost");
    });
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "kept");
}

TEST(MessagesTest, LanguageList)
{
    const auto languages = Messages::getLanguages();
    ASSERT_EQ(languages.size(), 32u);
    EXPECT_EQ(languages.front(), std::make_pair(std::string("en_US"), std::string("English")));
    EXPECT_EQ(languages[1].first, "ar");
    EXPECT_EQ(languages[15], std::make_pair(std::string("ko_KR"), std::string("Korean")));
    EXPECT_EQ(languages[16], std::make_pair(std::string("ms_MY"), std::string("Malay")));
    EXPECT_EQ(languages[17].second, "Norweigian");
    EXPECT_EQ(languages.back(), std::make_pair(std::string("zh_TW"), std::string("Chinese (Traditional)")));
    for (const auto& language : languages)
        EXPECT_EQ(language.first.find('.'), std::string::npos);
}

}  // namespace
