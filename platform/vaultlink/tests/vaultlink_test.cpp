// The channel stand-in on its own: registration and restart callbacks, shared buffers,
// the exchange through the shared buffer, injected faults and the injected wait.
#include <gtest/gtest.h>

#include <cbor.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "vaultlink/sim_secproc.h"
#include "vaultlink/vaultlink.h"

namespace {

using platform::secproc::Fault;
using platform::secproc::Response;
using platform::secproc::SimSecureProcessor;

std::atomic<int> gRestarts{0};
std::atomic<bool> gOnOtherThread{false};
std::thread::id gTestThread;
void onRestart() {
  gRestarts++;
  gOnOtherThread = std::this_thread::get_id() != gTestThread;
}

class Vaultlink : public ::testing::Test {
 protected:
  void SetUp() override {
    SimSecureProcessor::get().reset();
    gRestarts = 0;
    gTestThread = std::this_thread::get_id();
    vaultlink_client_reg reg{"sp_keymaster", onRestart};
    client = vaultlink_register_client(&reg);
    ASSERT_NE(client, nullptr);
    shared = static_cast<uint8_t*>(vaultlink_ion_alloc_ex(20480, &fd, SP_ALLOC_SUBSYS_HLOS));
    ASSERT_NE(shared, nullptr);
    ASSERT_EQ(vaultlink_lock_ion_buffer("sp_keymaster", fd), 0);
    for (auto& e : table.entry) e = {-1, 0};
    table.entry[0] = {fd, 6};
  }
  void TearDown() override {
    vaultlink_unlock_ion_buffer("sp_keymaster", fd);
    vaultlink_unregister_client(client);
    EXPECT_EQ(SimSecureProcessor::get().liveBuffers(), 0);
  }
  // Sends the frame already in the shared buffer; returns the send result.
  int send(uint16_t reqLen, uint32_t reply[3]) {
    uint8_t req[18] = {};
    std::memcpy(req + 4, &reqLen, 2);
    std::memset(req + 6, 0xFF, 8);
    uint32_t size = 20480;
    std::memcpy(req + 14, &size, 4);
    return vaultlink_client_send_modified_command(client, req, sizeof req, reply, 12, &table,
                                                  120000);
  }
  void putFrame(const std::vector<uint32_t>& words) {
    std::memcpy(shared, words.data(), words.size() * 4);
  }
  uint32_t word(size_t offset) {
    uint32_t v;
    std::memcpy(&v, shared + offset, 4);
    return v;
  }

  vaultlink_client_handle client = nullptr;
  uint8_t* shared = nullptr;
  int fd = -1;
  vaultlink_ion_info_table table{};
};

TEST_F(Vaultlink, SetVersionThenQueuedResponseBehindTheRequest) {
  uint32_t reply[3];
  putFrame({0x207, 5, 3, 5, 3, 0});
  ASSERT_EQ(send(24, reply), 0);
  EXPECT_EQ(reply[0], 100u);
  EXPECT_EQ(reply[2], 4u);
  EXPECT_EQ(word(24), 0u);

  SimSecureProcessor::get().queueResponse(Response{0, {0xA0}, std::nullopt});
  putFrame({0x3108, 0x000000A0});  // id + a 1-byte body (0xA0) and filler
  ASSERT_EQ(send(5, reply), 0);
  EXPECT_EQ(reply[2], 9u);
  EXPECT_EQ(word(8), 0u);   // status at R = 8
  EXPECT_EQ(word(12), 9u);  // msg_len
  EXPECT_EQ(shared[16], 0xA0);
  auto reqs = SimSecureProcessor::get().requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[1].cmdId, 0x3108u);
  EXPECT_EQ(reqs[1].body(), std::vector<uint8_t>{0xA0});
}

TEST_F(Vaultlink, AnInstalledHandlerAnswersAheadOfTheQueueOrPasses) {
  uint32_t reply[3];
  putFrame({0x207, 5, 3, 5, 3, 0});
  ASSERT_EQ(send(24, reply), 0);
  std::vector<uint32_t> seen;
  SimSecureProcessor::get().setCommandHandler([&](const platform::secproc::Request& r) {
    seen.push_back(r.cmdId);
    return r.cmdId == 0x310f ? std::optional<Response>(Response{-28, {0xB1}, std::nullopt}) : std::nullopt;
  });
  SimSecureProcessor::get().queueResponse(Response{0, {0xA0}, std::nullopt});
  putFrame({0x310f});
  ASSERT_EQ(send(4, reply), 0);
  EXPECT_EQ(static_cast<int32_t>(word(4)), -28);
  EXPECT_EQ(shared[12], 0xB1);
  EXPECT_EQ(SimSecureProcessor::get().queuedResponses(), 1u);
  putFrame({0x3111});  // passed on: the queued answer
  ASSERT_EQ(send(4, reply), 0);
  EXPECT_EQ(word(4), 0u);
  EXPECT_EQ(shared[12], 0xA0);
  putFrame({platform::secproc::kCmdConfigure});  // replayed commands never reach it
  ASSERT_EQ(send(4, reply), 0);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0x310f, 0x3111}));
  SimSecureProcessor::get().reset();
  putFrame({0x207, 5, 3, 5, 3, 0});
  ASSERT_EQ(send(24, reply), 0);
  putFrame({0x310f});
  ASSERT_EQ(send(4, reply), 0);
  EXPECT_EQ(seen.size(), 2u);  // reset removed it
}

TEST_F(Vaultlink, CommandsBeforeSetVersionAreRefusedAfterARestart) {
  uint32_t reply[3];
  putFrame({0x207, 5, 3, 5, 3, 0});
  ASSERT_EQ(send(24, reply), 0);
  SimSecureProcessor::get().restart();
  EXPECT_EQ(gRestarts.load(), 1);
  EXPECT_TRUE(gOnOtherThread.load());
  putFrame({platform::secproc::kCmdWeaverGetConfig});
  ASSERT_EQ(send(4, reply), 0);
  EXPECT_EQ(static_cast<int32_t>(word(4)), platform::secproc::kStatusNotInitialised);
}

TEST_F(Vaultlink, WeaverSlotsFollowTheMaps) {
  uint32_t reply[3];
  putFrame({0x207, 5, 3, 5, 3, 0});
  ASSERT_EQ(send(24, reply), 0);
  // write {68: 3, 67: key, 66: value}, built with libcbor
  std::vector<uint8_t> key(16, 0x11), value(16, 0x22);
  cbor_item_t* map = cbor_new_definite_map(3);
  cbor_map_add(map, {cbor_move(cbor_build_uint8(68)), cbor_move(cbor_build_uint8(3))});
  cbor_map_add(map, {cbor_move(cbor_build_uint8(67)), cbor_move(cbor_build_bytestring(key.data(), 16))});
  cbor_map_add(map, {cbor_move(cbor_build_uint8(66)), cbor_move(cbor_build_bytestring(value.data(), 16))});
  size_t n = cbor_serialize(map, shared + 4, 20000);
  cbor_decref(&map);
  putFrame({platform::secproc::kCmdWeaverWrite});
  ASSERT_EQ(send(static_cast<uint16_t>(4 + n), reply), 0);
  EXPECT_EQ(word((4 + n + 3) & ~3u), 0u);
  auto slot = SimSecureProcessor::get().weaverSlot(3);
  ASSERT_TRUE(slot.has_value());
  EXPECT_EQ(slot->key, key);
  EXPECT_EQ(slot->value, value);
}

TEST_F(Vaultlink, InjectedFaults) {
  uint32_t reply[3] = {};
  std::chrono::milliseconds waited{0};
  SimSecureProcessor::get().setSleeper([&](std::chrono::milliseconds ms) { waited += ms; });
  putFrame({0x207, 5, 3, 5, 3, 0});
  SimSecureProcessor::get().failNextExchange(Fault::kTimeout);
  EXPECT_EQ(send(24, reply), -110);
  EXPECT_EQ(waited.count(), 120000);
  EXPECT_EQ(SimSecureProcessor::get().lastTimeoutMs(), 120000u);

  SimSecureProcessor::get().failNextExchange(Fault::kWrongResponseType, -7);
  ASSERT_EQ(send(24, reply), 0);
  EXPECT_EQ(reply[0], 101u);
  EXPECT_EQ(static_cast<int32_t>(reply[1]), -7);

  SimSecureProcessor::get().failNextExchange(Fault::kSendError);
  EXPECT_LT(send(24, reply), 0);
  // Faults are one-shot.
  ASSERT_EQ(send(24, reply), 0);
  EXPECT_EQ(reply[0], 100u);

  SimSecureProcessor::get().setServerConnected(false);
  EXPECT_FALSE(vaultlink_client_is_server_connected(client));
  SimSecureProcessor::get().setLinkUp(false);
  EXPECT_FALSE(vaultlink_is_sp_subsystem_link_up());
  SimSecureProcessor::get().setReady(false);
  EXPECT_NE(vaultlink_wait_for_secproc_ready(60), 0);
}

TEST_F(Vaultlink, MalformedExchangesAreRefused) {
  uint32_t reply[3];
  uint8_t req[18] = {};
  EXPECT_EQ(vaultlink_client_send_modified_command(client, req, 18, reply, 12, &table, 1), -EINVAL)
      << "placeholder not all ones";
  vaultlink_ion_info_table bad = table;
  bad.entry[0].fd = 12345;
  std::memset(req + 6, 0xFF, 8);
  EXPECT_EQ(vaultlink_client_send_modified_command(client, req, 18, reply, 12, &bad, 1), -EINVAL);
  EXPECT_EQ(vaultlink_client_send_modified_command(nullptr, req, 18, reply, 12, &table, 1), -EINVAL);
}

}  // namespace
