// The render workers' pool driven from many threads at once, as PAPPL's job
// threads drive it, with the printer application's own workers: no more
// workers than the limit, every job's labels, idle workers ended, a waiting
// job canceled, a killed worker costing only its job.
#include "printerapp/rendering/render_workers.h"

#include "printerapp/printers/label_settings.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::string kSamplePdf = SOURCE_DIR "/tools/samples/shipping-label.pdf";

// Counts a job's labels, each taking the printer `pace`; cancels the job
// when told. While `hold` is set the printer takes nothing after its first
// label, so the job's pages pile up in the server until its worker waits
// for the printer: a worker that is busy however fast labels render.
class Labels final : public PageReceiver {
  public:
    explicit Labels(std::chrono::milliseconds pace = 0ms) : pace_(pace) {}
    bool page(const std::vector<std::uint8_t>&) override {
        std::this_thread::sleep_for(pace_);
        ++count;
        while (hold)
            std::this_thread::sleep_for(1ms);
        return true;
    }
    bool canceled() override { return cancel; }
    std::atomic<int> count{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> hold{false};

  private:
    const std::chrono::milliseconds pace_;
};

RenderRequest sampleJob(int copies) {
    RenderRequest request;
    request.kind = DocumentKind::kPdf;
    request.path = kSamplePdf;
    request.labelWidth = 812; // 4 x 6 in at 203 dpi
    request.labelHeight = 1218;
    request.selection.copies = copies;
    request.settings = defaultLabelSettings();
    return request;
}

// This process's render workers.
std::vector<pid_t> ourWorkers() {
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        const pid_t pid = std::atoi(entry->d_name);
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::ifstream cmdline("/proc/" + std::string(entry->d_name) + "/cmdline");
        std::string line, arguments;
        if (pid <= 0 || !std::getline(stat, line) || !std::getline(cmdline, arguments, '\n'))
            continue;
        const std::size_t close = line.rfind(')');
        pid_t parent = 0;
        char state = 0;
        if (close == std::string::npos ||
            std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) != 2)
            continue;
        if (parent == getpid() && arguments.find("--render-worker") != std::string::npos)
            found.push_back(pid);
    }
    if (proc)
        closedir(proc);
    return found;
}

// Waits for `condition` for at most `seconds`; its last value.
bool within(double seconds, const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    return condition();
}

// A pool whose workers are the printer application's.
RenderWorkers pool(std::size_t limit, std::chrono::milliseconds idleFor = 30s,
                   std::size_t jobsAWorker = kJobsAWorker) {
    return RenderWorkers(limit, std::nullopt, idleFor, jobsAWorker, LABEL_PRINTER_APP_PATH);
}

TEST(RenderWorkers, PrintersShareAtMostTheLimitAndIdleWorkersEnd) {
    RenderWorkers workers = pool(2, 300ms);
    constexpr int kJobs = 6, kCopies = 4;
    std::vector<Labels> labels(kJobs);
    std::vector<RenderOutcome> outcomes(kJobs);
    std::atomic<int> running{kJobs};
    std::size_t most = 0;
    std::vector<std::thread> jobs;
    for (int i = 0; i < kJobs; ++i)
        jobs.emplace_back([&, i] {
            outcomes[i] = workers.render(sampleJob(kCopies), labels[i]);
            --running;
        });
    while (running > 0) {
        most = std::max(most, ourWorkers().size());
        std::this_thread::sleep_for(2ms);
    }
    for (std::thread& job : jobs)
        job.join();
    EXPECT_EQ(most, 2u);
    for (int i = 0; i < kJobs; ++i) {
        EXPECT_TRUE(outcomes[i].ok) << i << ": " << outcomes[i].error;
        EXPECT_EQ(labels[i].count, kCopies) << i;
    }
    EXPECT_TRUE(within(10, [] { return ourWorkers().empty(); }));
    // A job after the idle ones ended starts one again.
    Labels again;
    EXPECT_TRUE(workers.render(sampleJob(1), again).ok);
    EXPECT_EQ(again.count, 1);
}

TEST(RenderWorkers, AWorkerMakesWayForAFreshOneAfterItsJobs) {
    RenderWorkers workers = pool(1, 30s, 3);
    std::vector<pid_t> seen;
    for (int job = 0; job < 7; ++job) {
        Labels labels;
        const RenderOutcome outcome = workers.render(sampleJob(1), labels);
        ASSERT_TRUE(outcome.ok) << job << ": " << outcome.error;
        EXPECT_EQ(labels.count, 1);
        const std::vector<pid_t> now = ourWorkers();
        EXPECT_LE(now.size(), 1u);
        for (pid_t pid : now)
            if (std::find(seen.begin(), seen.end(), pid) == seen.end())
                seen.push_back(pid);
    }
    // Jobs 1-3, 4-6 and 7, each three in a worker of their own.
    EXPECT_EQ(seen.size(), 3u);
}

TEST(RenderWorkers, JobsGoOnWhenAWorkerIsKilledOrAWaitingJobCanceled) {
    RenderWorkers workers = pool(1);
    Labels busy, waiting, killed;
    RenderOutcome busyOutcome, waitingOutcome, killedOutcome;
    busy.hold = killed.hold = true;
    std::thread first([&] { busyOutcome = workers.render(sampleJob(400), busy); });
    ASSERT_TRUE(within(60, [&] { return busy.count > 0; }));
    // The pool's one worker is busy: the second job waits, and is canceled.
    std::thread second([&] { waitingOutcome = workers.render(sampleJob(1), waiting); });
    std::this_thread::sleep_for(100ms);
    waiting.cancel = true;
    second.join();
    EXPECT_TRUE(waitingOutcome.canceled);
    EXPECT_FALSE(waitingOutcome.ok);
    EXPECT_EQ(waiting.count, 0);
    EXPECT_LT(busy.count, 400); // it was canceled while the first rendered
    busy.hold = false;
    first.join();
    EXPECT_TRUE(busyOutcome.ok) << busyOutcome.error;
    EXPECT_EQ(busy.count, 400);

    std::thread third([&] { killedOutcome = workers.render(sampleJob(400), killed); });
    ASSERT_TRUE(within(60, [&] { return killed.count > 0; }));
    const std::vector<pid_t> running = ourWorkers();
    ASSERT_EQ(running.size(), 1u);
    kill(running[0], SIGKILL);
    killed.hold = false;
    third.join();
    EXPECT_TRUE(killedOutcome.workerFailed);
    EXPECT_NE(killedOutcome.error.find("the label renderer stopped"), std::string::npos)
        << killedOutcome.error;
    Labels after;
    const RenderOutcome afterOutcome = workers.render(sampleJob(2), after);
    EXPECT_TRUE(afterOutcome.ok) << afterOutcome.error;
    EXPECT_EQ(after.count, 2);
    EXPECT_EQ(ourWorkers().size(), 1u);
}

TEST(RenderWorkers, ASlowPrinterHoldsNoWorkerWhileItPrints) {
    RenderWorkers workers = pool(1);
    Labels slow(100ms), quick;
    RenderOutcome slowOutcome;
    std::thread printing([&] { slowOutcome = workers.render(sampleJob(20), slow); });
    ASSERT_TRUE(within(60, [&] { return slow.count > 0; }));
    // The one worker rendered the slow printer's 20 labels long before the
    // printer takes them (two seconds): the next job has it at once.
    const RenderOutcome quickOutcome = workers.render(sampleJob(5), quick);
    EXPECT_TRUE(quickOutcome.ok) << quickOutcome.error;
    EXPECT_EQ(quick.count, 5);
    EXPECT_LT(slow.count, 20);
    printing.join();
    EXPECT_TRUE(slowOutcome.ok) << slowOutcome.error;
    EXPECT_EQ(slow.count, 20);
}

} // namespace
