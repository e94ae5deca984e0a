// Runs the fuzz target without libFuzzer: seed texts and a fixed number of deterministic
// mutations of them, so that any compiler can run it as an ordinary test.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    static constexpr char kWithNul[] = "[P\0]\nk\0=v\n\xff\xfe[";
    std::vector<std::string> seeds = {
        "",
        "[Property]\nScale=8000\nX=1\n",
        "; c\r\n[ property ]\r\n scale = 0x1F40 \r\n[P]\r\nk=1\r\nk=2",
        "[window]\n[P]\n\n;x\n[P]\nk=\n",
        std::string(kWithNul, sizeof kWithNul - 1),
        ";\r\n[P\t\r", // once broke: a header ended by a lone "\r" in a CRLF file
    };
    const long iterations = argc > 1 ? std::atol(argv[1]) : 200000;
    static constexpr char kAlphabet[] = "[]=;\n\r \t\0kKPpXx1$0a";
    std::mt19937 random(20240611);
    for (const std::string& seed : seeds)
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(seed.data()), seed.size());
    for (long i = 0; i < iterations; ++i) {
        std::string s = seeds[random() % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = s.empty() ? 0 : random() % (s.size() + 1);
            const char c = kAlphabet[random() % (sizeof kAlphabet - 1)];
            switch (random() % 3) {
            case 0:
                s.insert(s.begin() + static_cast<long>(at), c);
                break;
            case 1:
                if (at < s.size()) s.erase(at, 1);
                break;
            default:
                if (at < s.size()) s[at] = c;
                break;
            }
        }
        if (i % 7 == 0) seeds.push_back(s); // let mutations build on each other
        if (seeds.size() > 64) seeds.erase(seeds.begin() + 5);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    }
    std::printf("%ld mutated inputs, no fault\n", iterations);
    return 0;
}
