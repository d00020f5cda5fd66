// The program itself as a station's autostart entry starts it (offscreen, --connect, no click):
// its connection publishes to a real broker as its kept network settings say, from a device not
// there yet to one that works; killed, the broker says "offline" for it (the last will).

#include "network/NetworkStore.h"
#include "tests/network/NetworkTestSupport.h"
#include "tests/support/PortsFolder.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

namespace vx {
namespace {

using namespace test;

TEST(ProgramNetwork, AStationsStatusGoesFromPortLostToOnlineAndOfflineWhenKilled) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "site/#");
    ASSERT_TRUE(subscriber.Connected());
    TempFolder home;
    PortsFolder ports;  // the program finds it through VENTRIX_PORTS_DIR
    const std::string config = home / "config";
    std::filesystem::create_directories(config + "/Varn Instruments");
    NetworkConfiguration kept;
    kept.broker.host = "127.0.0.1";
    kept.broker.port = broker.Port();
    kept.broker.topicPrefix = "site";
    ConnectionOutputs outputs;
    outputs.mqtt.on = true;
    outputs.mqtt.samplesPerSecond = 10;
    kept.Set("Mast", outputs);
    ASSERT_TRUE(SaveNetworkConfiguration(config + "/Varn Instruments/ventrix.reg", kept));

    // No device behind COM37 yet: the connection waits for it, and says so.
    ChildProcess program(
        {BuiltProgram("app/ventrix"), "--connect", "COM37,9600,VARN_UV_TWO_AXIS,Mast"},
        {.environment = {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + config,
                         "XDG_STATE_HOME=" + home / "state", "HOME=" + home.Path()},
         .errorsToOutput = true});
    const std::string topic = "site/Mast/status";
    ASSERT_TRUE(subscriber.WaitForStates(topic, {"port lost"})) << program.Output();

    SimProcess sim(ports, 37, {"--format", "VARN_UV_TWO_AXIS", "--rate", "4"});
    ASSERT_TRUE(sim.Ready());
    ASSERT_TRUE(subscriber.WaitForStates(topic, {"port lost", "online"})) << program.Output();
    ASSERT_TRUE(WaitUntil([&] { return !subscriber.On("site/Mast/sample").empty(); }, 60s));

    program.Signal(SIGKILL);
    EXPECT_TRUE(subscriber.WaitForStates(topic, {"port lost", "online", "offline"}));
}

}  // namespace
}  // namespace vx
