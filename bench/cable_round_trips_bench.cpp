// Round trips and bytes sent per 64 KiB "Read to File" and "Write from File" on the two cables
// that answer from afar: the FTDI cable on the MPSSE model, and the remote_bitbang cable (a
// queue of the remote client's depth in front of the board; a byte per pin write and per 'R').
// A round trip is a wait for answers; at 125 us (a USB 2.0 microframe) and at 1 ms each
// (full-speed USB, or a network) the waits alone would take the ms_at_ figures.
#include "bench_session.h"
#include "mpsse_model.h"
#include "ops/commands.h"
#include "port/ftdi_backend.h"
#include "port/remote_bitbang_backend.h"
#include "queued_port.h"

#include <benchmark/benchmark.h>
#include <memory>

namespace {

using tapster::FtdiBackend;

constexpr uint32_t kBytes = 0x10000;

enum class Cable { Ftdi, Remote };
enum class Job { Read, Write };

// The agent taken on the board directly, then the cable put in front of it for the job.
class CableSession : public tapster::bench::Session {
  public:
    explicit CableSession(Cable cable) : Session("cable") {
        taken = TakeAgent();
        form.SetText("lstFlashBase", "60000000");
        form.SetText("txtFromAddr", "60000000");
        form.SetText("txtFlashLen", "10000");
        form.everyFile = WriteFile("image.bin", kBytes);
        if (cable == Cable::Ftdi) {
            auto chip = std::make_unique<tapster::test::MpsseModel>(*board);
            model = chip.get();
            ftdi = std::make_unique<FtdiBackend>(tapster::FtdiOptions{}, std::move(chip));
            tapster::SetPortBackend(ftdi.get());
            std::string error; // the port stays claimed: the new cable is opened here
            taken = taken && ftdi->Acquire(error);
        } else {
            remote = std::make_unique<tapster::test::QueuedPort>(
                *board, tapster::RemoteBitbangBackend::kOutstanding);
            tapster::SetPortBackend(remote.get());
        }
    }
    ~CableSession() override { tapster::SetPortBackend(nullptr); }

    uint64_t RoundTrips() const { return ftdi ? ftdi->RoundTrips() : remote->RoundTrips(); }
    uint64_t BytesSent() const { return ftdi ? ftdi->BytesSent() : remote->Accesses(); }

    bool taken = false;
    tapster::test::MpsseModel* model = nullptr;
    std::unique_ptr<FtdiBackend> ftdi;
    std::unique_ptr<tapster::test::QueuedPort> remote;
};

void BM_Cable64KiB(benchmark::State& state, Cable cable, Job job) {
    CableSession s(cable);
    uint64_t trips = 0, bytes = 0;
    for (auto _ : state) {
        const uint64_t trips0 = s.RoundTrips(), bytes0 = s.BytesSent();
        if (job == Job::Read)
            tapster::cmdReadToFileClick();
        else
            tapster::cmdWriteFlashClick();
        trips += s.RoundTrips() - trips0;
        bytes += s.BytesSent() - bytes0;
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["round_trips"] = static_cast<double>(trips) / runs;
    state.counters["bytes_sent"] = static_cast<double>(bytes) / runs;
    state.counters["ms_at_125us"] = static_cast<double>(trips) / runs * 0.125;
    state.counters["ms_at_1ms"] = static_cast<double>(trips) / runs;
    if (!s.taken || !s.form.errorBoxes.empty())
        state.SkipWithError("the agent was not taken or the command failed");
    if (s.model != nullptr && !s.model->Refusals().empty())
        state.SkipWithError(s.model->Refusals().front().c_str());
}
BENCHMARK_CAPTURE(BM_Cable64KiB, ftdi_read, Cable::Ftdi, Job::Read)->Iterations(1);
BENCHMARK_CAPTURE(BM_Cable64KiB, remote_read, Cable::Remote, Job::Read)->Iterations(1);
BENCHMARK_CAPTURE(BM_Cable64KiB, ftdi_write, Cable::Ftdi, Job::Write)->Iterations(1);
BENCHMARK_CAPTURE(BM_Cable64KiB, remote_write, Cable::Remote, Job::Write)->Iterations(1);

} // namespace
