// jet_writer: writes a Jet 3.0 log file of N plausible contacts, for trying
// the conversion by hand and for the benchmark.
//
//   jet_writer [--encrypt] OUT N
#include "jet_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    bool encrypt = false;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--encrypt") == 0) {
        encrypt = true;
        first = 2;
    }
    if (argc - first != 2) {
        std::fprintf(stderr, "usage: jet_writer [--encrypt] OUT N\n");
        return 2;
    }
    jetwriter::Table t{"Transmission", jetwriter::transmissionColumns(), {}};
    const int n = std::atoi(argv[first + 1]);
    for (int i = 1; i <= n; ++i)
        t.rows.push_back(jetwriter::sampleContact(i));
    jetwriter::Options o;
    o.encrypted = encrypt;
    const std::string error = jetwriter::write(argv[first], {t}, o);
    if (!error.empty()) {
        std::fprintf(stderr, "jet_writer: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
