// Encode and decode throughput of the KeyMint maps: our codec against libcbor on the same
// maps (a generate-key request; a key-creation answer with its key blob and two
// certificates).
#include <benchmark/benchmark.h>
#include <cbor.h>
#include <cbor/cbor.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "KeymasterSerialize.h"
#include "libcbor_build.h"

namespace {

using namespace kmtest;
using keymasterdevice::KeymasterSerialize;

struct GenerateKeyRequest {
  Bytes appId = Bytes(16, 0xA1), appData = Bytes(32, 0xA2), issuer = Bytes(64, 0x30);
  std::vector<keymaster_key_param_t> params;
  tztm notBefore{20, 13, 22, 14, 11, 2023, 0, 0, 0}, notAfter{59, 59, 23, 31, 12, 9999, 0, 0, 0};
  GenerateKeyRequest() {
    auto add = [&](keymaster_tag_t tag, uint64_t v) {
      keymaster_key_param_t p{};
      p.tag = tag;
      p.long_integer = v;
      params.push_back(p);
    };
    add(KM_TAG_ALGORITHM, 3);
    add(KM_TAG_KEY_SIZE, 256);
    add(KM_TAG_EC_CURVE, 1);
    add(KM_TAG_PURPOSE, 2);
    add(KM_TAG_PURPOSE, 3);
    add(KM_TAG_DIGEST, 4);
    add(KM_TAG_DIGEST, 0);
    add(KM_TAG_NO_AUTH_REQUIRED, 1);
    add(KM_TAG_OS_VERSION, 140000);
    add(KM_TAG_OS_PATCHLEVEL, 202401);
    add(KM_TAG_CERTIFICATE_NOT_BEFORE, 1700000000123ull);
    add(KM_TAG_CERTIFICATE_NOT_AFTER, 253402300799000ull);
    add(KM_TAG_CREATION_DATETIME, 1700000000000ull);
    keymaster_key_param_t id{};
    id.tag = KM_TAG_APPLICATION_ID;
    id.blob = {appId.data(), appId.size()};
    params.push_back(id);
    keymaster_key_param_t data{};
    data.tag = KM_TAG_APPLICATION_DATA;
    data.blob = {appData.data(), appData.size()};
    params.push_back(data);
  }
};

// The same map with libcbor: an item tree, then serialised.
size_t libcborEncode(const GenerateKeyRequest& r, unsigned char* out, size_t room) {
  cbor_item_t* m = cbor_new_definite_map(r.params.size() + 4);
  cbor_map_add(m, {cbor_move(integer(22)), cbor_move(integer(static_cast<int64_t>(r.params.size())))});
  for (const auto& p : r.params) {
    const auto label = static_cast<int64_t>(static_cast<int32_t>(p.tag));
    cbor_item_t* v;
    switch (static_cast<uint32_t>(p.tag) >> 28) {
      case 5:
      case 6:
        v = integer(static_cast<int64_t>(p.long_integer));
        break;
      case 7:
        v = cbor_build_bool(true);
        break;
      case 9:
        v = cbor_build_bytestring(p.blob.data, p.blob.data_length);
        break;
      default:
        v = unsignedInt(p.integer);
        break;
    }
    cbor_map_add(m, {cbor_move(integer(label)), cbor_move(v)});
  }
  cbor_map_add(m, {cbor_move(integer(51)), cbor_move(map({{23, bytes({})}, {22, integer(0)}, {54, bytes(r.issuer)}}))});
  cbor_map_add(m, {cbor_move(integer(52)), cbor_move(date(20, 13, 22, 14, 11, 2023))});
  cbor_map_add(m, {cbor_move(integer(53)), cbor_move(date(59, 59, 23, 31, 12, 9999))});
  size_t n = cbor_serialize(m, out, room);
  cbor_decref(&m);
  return n;
}

void BM_EncodeGenerateKey_Ours(benchmark::State& state) {
  GenerateKeyRequest r;
  keymaster_key_param_set_t set{r.params.data(), r.params.size()};
  keymaster_blob_t issuer{r.issuer.data(), r.issuer.size()};
  std::vector<uint8_t> area(20476);
  KeymasterSerialize s(nullptr);
  size_t bytes = 0;
  for (auto _ : state) {
    keymaster_blob_t out{area.data(), area.size()};
    if (s.serializeKeymintGenerateKey(&set, nullptr, nullptr, &issuer, r.notBefore, r.notAfter, &out) != 0) {
      state.SkipWithError("encode failed");
      break;
    }
    bytes += out.data_length;
    benchmark::DoNotOptimize(area.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_EncodeGenerateKey_Ours);

void BM_EncodeGenerateKey_Libcbor(benchmark::State& state) {
  GenerateKeyRequest r;
  std::vector<unsigned char> area(20476);
  size_t bytes = 0;
  for (auto _ : state) {
    size_t n = libcborEncode(r, area.data(), area.size());
    if (n == 0) {
      state.SkipWithError("encode failed");
      break;
    }
    bytes += n;
    benchmark::DoNotOptimize(area.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_EncodeGenerateKey_Libcbor);

Bytes keyCreationAnswer() {
  Bytes chars = encode(map({{2, map({{0x10000002, integer(3)},
                                     {0x30000003, integer(256)},
                                     {0x1000000A, integer(1)},
                                     {0x20000001, array({integer(2), integer(3)})},
                                     {0x20000005, array({integer(0), integer(4)})},
                                     {0x700001F7, boolean(true)},
                                     {0x300002C1, integer(140000)},
                                     {0x300002C2, integer(202401)}})},
                            {0, map({{0x600002BD, integer(1700000000000)}, {0x300001F5, integer(0)}})}}));
  Bytes blob = encode(array({unsignedInt(0x4B4D4B44), integer(1), integer(2), bytes(chars), bytes(Bytes(96, 0x5B))}));
  cbor_item_t* m = cbor_new_definite_map(4);
  cbor_map_add(m, {cbor_move(integer(23)), cbor_move(bytes(blob))});
  cbor_map_add(m, {cbor_move(integer(32)), cbor_move(integer(2))});
  cbor_map_add(m, {cbor_move(integer(33)), cbor_move(bytes(Bytes(620, 0xC1)))});
  cbor_map_add(m, {cbor_move(integer(33)), cbor_move(bytes(Bytes(580, 0xC2)))});
  return encode(m);
}

// Decoding the answer into key blob, chain and characteristics (copies included).
void BM_DecodeKeyCreation_Ours(benchmark::State& state) {
  Bytes answer = keyCreationAnswer();
  KeymasterSerialize s(nullptr);
  for (auto _ : state) {
    keymaster_key_blob_t blob{};
    keymaster_key_characteristics_t chars{};
    keymaster_cert_chain_t chain{};
    if (s.deserializeKeyCreationResult({answer.data(), answer.size()}, &blob, &chars, &chain) != 0) {
      state.SkipWithError("decode failed");
      break;
    }
    std::free(const_cast<uint8_t*>(blob.key_material));
    keymaster_free_characteristics(&chars);
    keymaster_free_cert_chain(&chain);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_DecodeKeyCreation_Ours);

// The same with libcbor: load the answer, then the key blob, then the characteristics,
// and copy out the same values.
void BM_DecodeKeyCreation_Libcbor(benchmark::State& state) {
  Bytes answer = keyCreationAnswer();
  for (auto _ : state) {
    cbor_load_result res;
    cbor_item_t* top = cbor_load(answer.data(), answer.size(), &res);
    if (top == nullptr || !cbor_isa_map(top)) {
      state.SkipWithError("decode failed");
      break;
    }
    cbor_pair* pairs = cbor_map_handle(top);
    std::vector<Bytes> certs;
    Bytes blob(cbor_bytestring_handle(pairs[0].value),
               cbor_bytestring_handle(pairs[0].value) + cbor_bytestring_length(pairs[0].value));
    for (size_t k = 2; k < cbor_map_size(top); k++) {
      certs.emplace_back(cbor_bytestring_handle(pairs[k].value),
                         cbor_bytestring_handle(pairs[k].value) + cbor_bytestring_length(pairs[k].value));
    }
    cbor_item_t* kb = cbor_load(blob.data(), blob.size(), &res);
    cbor_item_t* charsItem = cbor_array_get(kb, 3);
    cbor_item_t* chars = cbor_load(cbor_bytestring_handle(charsItem), cbor_bytestring_length(charsItem), &res);
    std::vector<keymaster_key_param_t> params;
    cbor_pair* levels = cbor_map_handle(chars);
    for (size_t l = 0; l < cbor_map_size(chars); l++) {
      cbor_pair* entries = cbor_map_handle(levels[l].value);
      for (size_t e = 0; e < cbor_map_size(levels[l].value); e++) {
        keymaster_key_param_t p{};
        p.tag = static_cast<keymaster_tag_t>(cbor_get_int(entries[e].key));
        if (cbor_isa_array(entries[e].value)) {
          for (size_t i = 0; i < cbor_array_size(entries[e].value); i++) {
            cbor_item_t* el = cbor_array_get(entries[e].value, i);
            p.integer = static_cast<uint32_t>(cbor_get_int(el));
            params.push_back(p);
            cbor_decref(&el);
          }
        } else {
          p.long_integer = cbor_isa_float_ctrl(entries[e].value) ? 1 : cbor_get_int(entries[e].value);
          params.push_back(p);
        }
      }
    }
    benchmark::DoNotOptimize(params.data());
    cbor_decref(&chars);
    cbor_decref(&charsItem);
    cbor_decref(&kb);
    cbor_decref(&top);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_DecodeKeyCreation_Libcbor);

// The bare decoders walking every item of the answer.
void BM_WalkAnswer_Ours(benchmark::State& state) {
  Bytes answer = keyCreationAnswer();
  for (auto _ : state) {
    vcbor::Decoder d(answer.data(), answer.size());
    vcbor::Item it;
    while (d.getNext(it) == vcbor::kSuccess) benchmark::DoNotOptimize(it.val.u64);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_WalkAnswer_Ours);

void BM_WalkAnswer_Libcbor(benchmark::State& state) {
  Bytes answer = keyCreationAnswer();
  for (auto _ : state) {
    cbor_load_result res;
    cbor_item_t* top = cbor_load(answer.data(), answer.size(), &res);
    benchmark::DoNotOptimize(top);
    cbor_decref(&top);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}
BENCHMARK(BM_WalkAnswer_Libcbor);

}  // namespace

BENCHMARK_MAIN();
