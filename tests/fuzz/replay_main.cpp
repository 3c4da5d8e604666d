// A driver for the fuzz target where libFuzzer is missing: replays files and folders of
// inputs, then a fixed number of deterministic random mutations of them.
//   tga_fuzz [-make-seeds=FOLDER] [-runs=N] [-seed=S] FILE_OR_FOLDER...
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
int writeSeedCorpus(const char* folder);
extern long tgaFuzzLoaded;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void run(const Bytes& input) {
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
}

// Edits that reach the reader's decisions: header values at their boundaries, cuts at every
// length, and noise.
void mutate(Bytes& b, std::mt19937& random) {
    static const uint8_t interesting[] = {0,  1,  2,  3,  8,    9,    10,   15,
                                          16, 17, 24, 32, 0x20, 0x7F, 0x80, 0xFF};
    static const uint16_t interestingWords[] = {0, 1, 255, 256, 257, 0x7FFF, 0x8000, 0xFFFF};
    auto pick = [&](size_t n) { return size_t(random() % (n ? n : 1)); };
    const int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits; ++e) {
        switch (random() % 7) {
        case 0:
            if (!b.empty()) b[pick(b.size())] ^= uint8_t(1u << (random() % 8));
            break;
        case 1: // a header byte set to a boundary value
            if (b.size() >= 18) b[pick(18)] = interesting[pick(sizeof interesting)];
            break;
        case 2: { // a header word (map length, width, height) set to a boundary value
            static const size_t words[] = {3, 5, 12, 14};
            size_t at = words[pick(4)];
            uint16_t v = interestingWords[pick(std::size(interestingWords))];
            if (b.size() >= at + 2) {
                b[at] = uint8_t(v);
                b[at + 1] = uint8_t(v >> 8);
            }
            break;
        }
        case 3:
            b.resize(pick(b.size() + 1));
            break;
        case 4:
            for (int n = 1 + int(random() % 64); n > 0; --n) b.push_back(uint8_t(random()));
            break;
        case 5:
            if (!b.empty()) b[pick(b.size())] = uint8_t(random());
            break;
        default:
            if (b.size() > 18) b.erase(b.begin() + 18 + pick(b.size() - 18));
            break;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    long runs = 0;
    unsigned seed = 1;
    std::vector<Bytes> corpus;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "-runs=", 6) == 0) {
            runs = std::strtol(arg + 6, nullptr, 10);
        } else if (std::strncmp(arg, "-seed=", 6) == 0) {
            seed = unsigned(std::strtoul(arg + 6, nullptr, 10));
        } else if (std::strncmp(arg, "-make-seeds=", 12) == 0) {
            std::printf("wrote %d seeds\n", writeSeedCorpus(arg + 12));
        } else if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file()) corpus.push_back(readAll(entry.path()));
        } else {
            corpus.push_back(readAll(arg));
        }
    }
    for (const Bytes& input : corpus) run(input);
    // Random bytes too, so the run means something without a corpus.
    if (corpus.empty()) corpus.push_back(Bytes(18, 0));
    std::mt19937 random(seed);
    for (long r = 0; r < runs; ++r) {
        Bytes input = corpus[size_t(r) % corpus.size()];
        mutate(input, random);
        run(input);
    }
    std::printf("replayed %zu inputs and %ld mutations; %ld loaded\n", corpus.size(), runs,
                tgaFuzzLoaded);
    return 0;
}
