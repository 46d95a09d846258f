// The flash agent as target code: a 2 MiB "Write from File" then "Read to File" as one job on
// the simulated board, which executes fl4_trap.bin on its ST20 core (no stand-in agent), with
// the read-back compared byte for byte. The chip's busy times are off, so the figure is the
// host, the link and the agent's own instructions.
#include "bench_session.h"
#include "ops/commands.h"
#include "ops/services.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr uint32_t kImageBytes = 0x200000;
constexpr double kTargetSeconds = 5.0;

void BM_AgentWriteRead2MiB(benchmark::State& state) {
    // FastAgentBoard: the flash agent executing on the board's core, busy times 0.
    tapster::bench::Session s("agent", tapster::bench::FastAgentBoard(), 0);
    const std::string image = s.WriteFile("image.bin", kImageBytes);
    if (!s.TakeAgent()) state.SkipWithError("the agent was not taken");
    s.form.SetText("lstFlashBase", "60000000");
    s.form.SetText("txtFromAddr", "60000000");
    s.form.SetText("txtFlashLen", "200000");
    const std::string dump = (s.dir / "dump.bin").string();
    for (auto _ : state) {
        s.form.everyFile = image;
        tapster::cmdWriteFlashClick();
        const auto& log = s.form.LogLines();
        if (log.size() < 2 || log[log.size() - 2] != "Done.") {
            state.SkipWithError("the write did not complete");
            break;
        }
        s.form.everyFile = dump;
        tapster::cmdReadToFileClick();
    }
    std::ifstream a(image, std::ios::binary), b(dump, std::ios::binary);
    const std::string wrote{std::istreambuf_iterator<char>(a), {}};
    const std::string read{std::istreambuf_iterator<char>(b), {}};
    if (wrote != read) state.SkipWithError("the read-back differs from the file");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 2 * kImageBytes);
    state.counters["target_s"] = kTargetSeconds;
}
BENCHMARK(BM_AgentWriteRead2MiB)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
