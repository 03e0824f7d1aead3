// Throughput of kesto's CRC engine, every update method the processor has,
// over one 64 KiB block (the size kesto reads a file in) updated again and
// again: the engine alone, without the file reads. Run by
// bench/kesto_crc_bench.sh; arguments: MiB per timing, runs.
#include "kesto/crc.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace kesto;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kesto_crc_bench MiB runs\n");
        return 2;
    }
    const std::size_t total = std::strtoull(argv[1], nullptr, 10) << 20;
    const int runs = std::atoi(argv[2]);
    std::vector<unsigned char> block(65536);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 131 + 7);
    const struct {
        CrcMethod method;
        const char* name;
    } methods[] = {{CrcMethod::bytewise, "byte-wise"},
                   {CrcMethod::slicing, "slicing"},
                   {CrcMethod::carryless, "carry-less"},
                   {CrcMethod::wide_carryless, "wide carry-less"}};
    for (const auto& m : methods) {
        if (!use_crc_method(m.method)) continue;
        // The byte-wise method gets a smaller share so that it ends in seconds.
        std::size_t bytes = m.method == CrcMethod::bytewise ? total / 8 : total;
        for (int width : {16, 32}) {
            std::vector<double> rates;
            std::uint32_t crc = 0;
            for (int run = 0; run < runs; ++run) {
                auto start = std::chrono::steady_clock::now();
                for (std::size_t done = 0; done < bytes; done += block.size())
                    crc = width == 16 ? crc16_update(0, crc, block.data(), block.size())
                                      : crc32_update(0, crc, block.data(), block.size());
                std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
                rates.push_back(bytes / seconds.count() / 1e9);
            }
            std::sort(rates.begin(), rates.end());
            volatile std::uint32_t kept = crc;  // the work is not optimised away
            (void)kept;
            std::printf("  %-16s CRC-%d  %6.2f GB/s\n", m.name, width, rates[rates.size() / 2]);
        }
    }
}
