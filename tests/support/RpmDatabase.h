#ifndef KW_TESTS_SUPPORT_RPMDATABASE_H
#define KW_TESTS_SUPPORT_RPMDATABASE_H

#include <string>
#include <vector>

#include "tests/support/TempDir.h"

struct ChildOptions;

// An rpm database of a test's own, filled with tiny packages that rpmbuild makes from recipes;
// removed with the object. rpm finds it under $HOME/.rpmdb, so a child that `useIn` prepared, and
// `rpm` here, see only these packages. It lies under /var/tmp, since children often get a private /tmp.
class RpmDatabase {
public:
    struct Recipe {
        std::string spec;    // the rpmbuild recipe's text
        std::string target;  // the architecture to build for; empty: the recipe's own
    };

    RpmDatabase();

    // Builds every recipe and enters all the packages into the database without their files or
    // dependency checks (rpm -i --justdb). Empty when all went in, else what went wrong: a test
    // suite's set-up keeps it for each test to fail with (a failure inside the set-up would only
    // skip the tests).
    std::string install(const std::vector<Recipe>& recipes);

    // Sets HOME in the child.
    void useIn(ChildOptions& options) const;
    // The output of rpm with the arguments (shell words, quoted by the caller) over this database.
    std::string rpm(const std::string& arguments) const;

    const std::string& home() const { return home_; }

private:
    TempDir dir;
    std::string home_;
    int built = 0;
};

#endif
