// Whole-process counterparts of the package tools, timed against them by compare.sh:
//   bench_driver installed   reads the installed packages into a Repository, as the program does
//   bench_driver floor       the same start and the same spawn of the same pipeline, only counting lines
//   bench_driver md5 FILE    prints the MD5 digest of FILE
//   bench_driver xml FILE    loads FILE as an XML document
//
// The two package modes run in a private /tmp (bench/private_tmp.h).
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/private_tmp.h"
#include "common/Log.h"
#include "common/Repository.h"
#include "common/SourceSysDeb.h"
#include "common/SystemCmd.h"
#include "common/sysutils.h"
#include "common/tinybind.h"

namespace {

int usage()
{
    fprintf(stderr, "usage: bench_driver installed | floor | md5 FILE | xml FILE\n");
    return 2;
}

int readInstalled()
{
    Repository repository;
    SourceSysDeb source(&repository);
    source.loadBrief();
    printf("%zu packages\n", repository.getPackages().size());
    return 0;
}

int readFloor()
{
    SystemCmd query(SourceSysDeb::BRIEF_QUERY);
    size_t lines = 0;
    char block[65536];
    for (size_t n; (n = fread(block, 1, sizeof(block), query.stream)) > 0;)
        for (size_t i = 0; i < n; ++i)
            lines += block[i] == '\n';
    const int code = query.wait();
    printf("%zu lines\n", lines);
    return code;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string mode = argv[1];
    Log::consoleLevel = -1;  // progress lines would only disturb the timing
    if (mode == "installed" || mode == "floor") {
        if (!enterPrivateTmp("bench_driver"))
            return 1;
        return mode == "installed" ? readInstalled() : readFloor();
    }
    if (argc < 3)
        return usage();
    if (mode == "md5") {
        char digest[33];
        if (!md5_file(argv[2], digest)) {
            fprintf(stderr, "bench_driver: cannot read %s\n", argv[2]);
            return 1;
        }
        printf("%s  %s\n", digest, argv[2]);
        return 0;
    }
    if (mode == "xml") {
        try {
            tinybind::Document document(argv[2]);
            return document.get_root() ? 0 : 1;
        } catch (const tinybind::err& e) {
            fprintf(stderr, "bench_driver: %s\n", e.message.c_str());
            return 1;
        }
    }
    return usage();
}
