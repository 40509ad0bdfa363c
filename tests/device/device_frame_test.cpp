#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

#include "device/catalogue.h"
#include "device/device.h"
#include "support/recording_ui.h"

namespace tenlo {
namespace {

using namespace std::chrono_literals;
using testing::RecordingErrorBox;
using testing::RecordingProgress;
using testing::RecordingWindow;

// A device whose bodies are whatever the test says, around the real frame.
class ScriptedDevice : public CDevice {
  public:
    using Body = std::function<void(ScriptedDevice&)>;
    using CDevice::Step;

    ScriptedDevice(CProgrammerLink& link, IProgressDisplay* progress)
        : CDevice(link, &options_, progress) {
        layout_ = *CatalogueLayout(kStartupDeviceIndex);
    }

    bool Initialize() override { return true; }
    void GetLayout(DeviceLayout& out) const override { out = layout_; }
    bool CheckDeviceId() override { return false; }
    bool EraseProgram() override { return false; }
    bool EraseData() override { return false; }

    Body body;
    std::atomic<int> runs{0};
    std::atomic<std::thread::id> lastThread{};

    // The frame's steps, for bodies.
    void Show(std::string_view text) { ShowProgress(text); }
    void Progress(int percent) { SetProgress(percent); }
    void Text(std::string_view text) { SetProgressText(text); }
    void Done(bool result) { Finish(result); }
    CompareResult& Out() { return CompareOut(); }
    Step Blocks(std::size_t total, std::size_t block, std::vector<std::size_t>& starts) {
        return ForEachBlock(total, block, [&](std::size_t start, std::size_t) {
            starts.push_back(start);
            return Step::Next;
        });
    }

  protected:
    void Run() {
        ++runs;
        lastThread = std::this_thread::get_id();
        body(*this);
    }
    void ReadProgram() override { Run(); }
    void WriteProgram() override { Run(); }
    void CompareProgram() override { Run(); }
    void WriteConfig() override { Run(); }
    void ReadConfig() override { Run(); }
    void CompareConfig() override { Run(); }
    void WriteData() override { Run(); }
    void ReadData() override { Run(); }
    void CompareData() override { Run(); }
    void Erase() override { Run(); }

  private:
    DeviceOptions options_;
};

// Counts the pumping done on the thread that installed it.
class CountingPump : public IMessagePump {
  public:
    CountingPump() : owner_(std::this_thread::get_id()) { SetMessagePump(this); }
    ~CountingPump() override { SetMessagePump(nullptr); }
    void Pump() override {
        if (std::this_thread::get_id() == owner_) {
            ++ownerPumps;
            if (onOwnerPump) {
                onOwnerPump();
            }
        }
    }
    std::atomic<int> ownerPumps{0};
    std::function<void()> onOwnerPump;

  private:
    std::thread::id owner_;
};

class DeviceFrame : public ::testing::Test {
  protected:
    CProgrammerLink link;
    RecordingProgress progress;
    RecordingWindow window;
    ScriptedDevice device{link, &progress};
    CMemoryImage image{device.Layout()};

    void SetUp() override { device.SetMainWindow(&window); }
};

TEST_F(DeviceFrame, BodyRunsOnAWorkerAndDrivesTheDisplays) {
    device.body = [](ScriptedDevice& d) {
        d.Show("working");
        d.Progress(40);
        d.Text("phase two");
        d.Progress(90);
        d.Done(true);
    };
    EXPECT_TRUE(device.RunReadProgram(image.Program()));
    EXPECT_EQ(device.runs, 1);
    EXPECT_NE(device.lastThread.load(), std::this_thread::get_id());
    const std::vector<std::string> expected{"range 100", "open",           "pos 0",  "text working",
                                            "pos 40",    "text phase two", "pos 90", "close"};
    EXPECT_EQ(progress.Events(), expected);
    const std::vector<std::string> window_events{"disable", "enable", "front"};
    EXPECT_EQ(window.Events(), window_events);
    EXPECT_TRUE(device.LastResult());
}

TEST_F(DeviceFrame, FailureStillClosesTheDisplayAndEnablesTheWindow) {
    device.body = [](ScriptedDevice& d) {
        d.Show("working");
        d.Done(false);
    };
    EXPECT_FALSE(device.RunWriteData(image.Data()));
    EXPECT_EQ(progress.Events().back(), "close");
    EXPECT_TRUE(window.Enabled());
    EXPECT_FALSE(device.LastResult());
}

TEST(DeviceFrameNoDisplays, RunsTheSameWithoutProgressOrWindow) {
    CProgrammerLink link;
    ScriptedDevice device(link, nullptr);
    CMemoryImage image(device.Layout());
    device.body = [](ScriptedDevice& d) {
        d.Show("x");
        d.Progress(50);
        d.Text("y");
        d.Done(true);
    };
    EXPECT_TRUE(device.RunErase());
    EXPECT_TRUE(device.RunReadConfig(image.Config()));
    EXPECT_EQ(device.runs, 2);
}

TEST_F(DeviceFrame, BuffersThatDoNotFitTheLayoutAreRefusedUnrun) {
    device.body = [](ScriptedDevice& d) { d.Done(true); };
    std::vector<std::uint8_t> bytes(2048);
    std::vector<std::uint16_t> shortWords(1023);
    std::vector<std::uint16_t> longWords(4096);
    CompareResult result;
    result.done = 1;
    EXPECT_FALSE(device.RunReadProgram(std::span(bytes)));  // 8-bit cells for 14-bit words
    EXPECT_FALSE(device.RunWriteProgram(std::span(shortWords)));
    EXPECT_FALSE(device.RunCompareData(std::span(shortWords), result));
    EXPECT_EQ(result.done, 0);
    EXPECT_FALSE(device.RunReadConfig(CellSpan()));
    EXPECT_EQ(device.runs, 0);
    EXPECT_TRUE(progress.Events().size() == 1);  // only the range set at construction
    // A longer buffer is fine: only the layout's cells are touched.
    EXPECT_TRUE(device.RunReadProgram(std::span(longWords)));
}

TEST_F(DeviceFrame, CompareResultReachesTheCaller) {
    device.body = [](ScriptedDevice& d) {
        d.Out().done = 1;
        d.Out().match = 0;
        d.Out().address = 0x41;
        d.Done(true);
    };
    CompareResult result;
    EXPECT_TRUE(device.RunCompareProgram(image.Program(), result));
    EXPECT_EQ(result.done, 1);
    EXPECT_EQ(result.address, 0x41u);
}

TEST_F(DeviceFrame, CallerPumpsItsMessagesWhileTheWorkerRuns) {
    CountingPump pump;
    device.body = [](ScriptedDevice& d) {
        std::this_thread::sleep_for(60ms);
        d.Done(true);
    };
    EXPECT_TRUE(device.RunErase());
    // A few ms per round: well over one round in 60 ms, far fewer than a busy spin would make.
    EXPECT_GT(pump.ownerPumps, 2);
    EXPECT_LT(pump.ownerPumps, 1000);
}

TEST_F(DeviceFrame, ASecondOperationStartedFromThePumpIsRefused) {
    CountingPump pump;
    std::atomic<int> nested{-1};
    pump.onOwnerPump = [&] {
        if (nested < 0) {
            nested = device.RunErase() ? 1 : 0;
        }
    };
    device.body = [](ScriptedDevice& d) {
        std::this_thread::sleep_for(20ms);
        d.Done(true);
    };
    EXPECT_TRUE(device.RunReadData(image.Data()));
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(device.runs, 1);
}

TEST_F(DeviceFrame, LingeringWorkerIsReportedAndWaitedFor) {
    RecordingErrorBox box;
    device.SetErrorBox(&box);
    device.SetWorkerEndLimit(50ms);
    std::atomic<bool> bodyEnded{false};
    device.body = [&](ScriptedDevice& d) {
        d.Done(true);
        std::this_thread::sleep_for(300ms);  // still busy after signalling done
        bodyEnded = true;
    };
    EXPECT_TRUE(device.RunWriteProgram(image.Program()));
    EXPECT_TRUE(bodyEnded);  // never abandoned
    const auto shown = box.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Thread強制停止");

    // A worker that ends in time shows nothing.
    device.body = [](ScriptedDevice& d) { d.Done(true); };
    EXPECT_TRUE(device.RunWriteProgram(image.Program()));
    EXPECT_EQ(box.Shown().size(), 1u);
}

TEST_F(DeviceFrame, BodyThatThrowsOrForgetsFinishFailsInsteadOfHanging) {
    device.body = [](ScriptedDevice& d) {
        d.Show("x");
        throw std::runtime_error("allocation");
    };
    EXPECT_FALSE(device.RunReadProgram(image.Program()));
    EXPECT_EQ(progress.Events().back(), "close");
    EXPECT_TRUE(window.Enabled());

    device.body = [](ScriptedDevice&) {};
    EXPECT_FALSE(device.RunReadProgram(image.Program()));

    // The done event of one operation does not leak into the next.
    device.body = [](ScriptedDevice& d) {
        std::this_thread::sleep_for(10ms);
        d.Done(true);
    };
    EXPECT_TRUE(device.RunReadProgram(image.Program()));
}

TEST_F(DeviceFrame, BlockLoopReportsTheShareDoneBeforeEachBlock) {
    std::vector<std::size_t> starts;
    EXPECT_EQ(device.Blocks(1024, 64, starts), ScriptedDevice::Step::Next);
    ASSERT_EQ(starts.size(), 16u);
    EXPECT_EQ(starts[15], 960u);
    const auto positions = progress.Positions();
    ASSERT_EQ(positions.size(), 16u);
    EXPECT_EQ(positions.front(), 0);
    EXPECT_EQ(positions[1], 6);  // 100 × 64 ÷ 1024, truncated
    EXPECT_EQ(positions.back(), 93);

    starts.clear();
    EXPECT_EQ(device.Blocks(100, 64, starts), ScriptedDevice::Step::Next);  // a short last block
    EXPECT_EQ(starts, (std::vector<std::size_t>{0, 64}));
    starts.clear();
    EXPECT_EQ(device.Blocks(0, 64, starts), ScriptedDevice::Step::Next);
    EXPECT_TRUE(starts.empty());
}

}  // namespace
}  // namespace tenlo
