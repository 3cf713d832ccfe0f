// batch-window: one run window converting a long batch of one small source
// in one engine session, on the FFmpeg engine, under whatever Qt platform is
// set (offscreen for the benchmark). Prints the process's resident memory
// and open file descriptors as items end, so that growth over the batch
// shows: the first item against the last.
//
//   batch-window SOURCE OUTPUT-FOLDER [COUNT]
//
// The window's handlers are called as its timers would call them, without
// the second between items and the half second between polls, so that a
// batch of hundreds takes minutes, not hours. Exits non-zero when the batch
// does not finish.
#include <QApplication>
#include <QTimer>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CxList.h"
#include "CxWMEncoder.h"
#include "FfmpegEngine.h"
#include "MROption.h"
#include "SkinManager.h"
#include "TextUtil.h"
#include "TfmConvert.h"
#include "main/MainAccess.h"

namespace fs = std::filesystem;

namespace {

class BatchHost final : public MainAccess {
public:
    MROption* GetOption() override { return &option; }
    CxList* GetRunList() override { return &runList; }
    MRProfileList* GetProfiles() override { return nullptr; }
    void ApplySkin(skin::SkinManager* skin) override { skin->SetStyle(1); }
    bool ShowOption() override { return true; }
    bool UpdateOption(bool, bool) override { return true; }
    QString CurrentSource() override { return {}; }

    MROption option = MakeOption();
    CxList runList;
};

long ResidentKiB()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long OpenDescriptors()
{
    long n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n - 1; // the one the listing itself holds
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: batch-window SOURCE OUTPUT-FOLDER [COUNT]\n");
        return 2;
    }
    const std::string source = fs::absolute(argv[1]).string();
    const fs::path outDir = fs::absolute(argv[2]);
    const int count = argc > 3 ? std::atoi(argv[3]) : 200;
    fs::create_directories(outDir);

    QApplication app(argc, argv);
    mce::InstallFactory(&mce::FfmpegEngineFactory());

    BatchHost host;
    std::vector<std::unique_ptr<RunItem>> items;
    for (int i = 0; i < count; ++i) {
        auto item = std::make_unique<RunItem>();
        cx::CopyText(item->szSource, source.c_str());
        cx::CopyText(item->szOutput, (outDir / ("item" + std::to_string(i + 1) + ".wmv")).c_str());
        host.runList.Add(item.get());
        items.push_back(std::move(item));
    }

    auto w = std::make_unique<TfmConvert>(host, nullptr, 1);
    w->show();
    const QTimer* batch = w->findChild<QTimer*>(QStringLiteral("tmBatch"));
    for (int i = 0; i < 2 && !w->IsStarted(); ++i)
        w->tmWaitTimer();

    const auto began = std::chrono::steady_clock::now();
    std::printf("item  resident KiB  descriptors\n");
    int reported = -1;
    while (w->GetState() == TfmConvert::csRunning) {
        QCoreApplication::processEvents();
        if (batch->isActive()) {
            w->tmBatchTimer();
            continue;
        }
        CxWMEncoder* session = w->GetEncoder();
        if (!session || session->GetRunState() != mce::RunState::Stopped) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        // The item's engine work is over and its session still open.
        const int item = w->GetBatchIndex() + 1;
        if (item != reported && (item <= 3 || item % 50 == 0 || item == count)) {
            std::printf("%4d  %12ld  %11ld\n", item, ResidentKiB(), OpenDescriptors());
            std::fflush(stdout);
            reported = item;
        }
        w->tmConvertTimer();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const bool finished = w->GetState() == TfmConvert::csFinished && w->GetBatchIndex() == count - 1;
    const int done = w->GetBatchIndex() + 1;
    w.reset();
    const long residentAfter = ResidentKiB(), descriptorsAfter = OpenDescriptors();
    std::printf("%s after %d items in %.1f s; window closed: %ld KiB, %ld descriptors\n",
                finished ? "finished" : "NOT finished", done, seconds, residentAfter, descriptorsAfter);
    host.runList.RemoveAll(false);
    return finished ? 0 : 1;
}
