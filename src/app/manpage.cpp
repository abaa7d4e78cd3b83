// spacemarquee-manpage: writes spacemarquee(1) to standard output at build time, from the same
// words `spacemarquee --help` prints.
#include "app/Manual.h"

#include <cstdio>

int main(int argc, char** argv) {
    const QByteArray page = sm::manual::manPage(argc > 1 ? argv[1] : "");
    return std::fwrite(page.constData(), 1, static_cast<size_t>(page.size()), stdout) ==
                   static_cast<size_t>(page.size())
               ? 0
               : 1;
}
