// Scanner throughput over status responses of 1 KiB to 4 MiB. The fields the
// program reads stand at the very end, behind the padding, so every scan has
// to cross the whole response: the worst case for a substring search.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "scan/json_scan.h"

namespace {

constexpr std::int64_t kSmallest = std::int64_t{1} << 10;
constexpr std::int64_t kLargest = std::int64_t{4} << 20;

// A status answer of about `size` bytes. The padding is made of short string
// fields, as a cloud's answer with many device attributes would be, so quote
// characters (the first character of every searched pattern) come every few
// bytes rather than never.
std::string StatusResponse(std::size_t size) {
  const std::string head = R"({"error":0,"msg":"","data":{"thingList":[{"itemType":1,"itemData":{)"
                           R"("deviceid":"1000c8441f","name":"Switch",)";
  const std::string tail = R"("online":true,"params":{"switch":"on","fwVersion":"3.7.1",)"
                           R"("rssi":-48,"pulse":"off"}}}]}})";
  std::string response = head;
  for (int field = 0; response.size() + tail.size() < size; ++field) {
    response += "\"attr" + std::to_string(field) + "\":\"value" + std::to_string(field) + "\",";
  }
  return response + tail;
}

// Runs scan over one response per size and reports bytes scanned per second.
template <typename Scan>
void ScanResponse(benchmark::State& state, Scan scan) {
  const std::string response = StatusResponse(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    auto result = scan(std::string_view(response));
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(response.size()));
}

// Guards against measuring a scan that no longer finds its field.
void Expect(bool holds, const char* what) {
  if (!holds) {
    throw std::logic_error(std::string("benchmark input broken: ") + what);
  }
}

void BM_ExtractJSON(benchmark::State& state) {
  Expect(tavorin::scan::ExtractJSON(StatusResponse(1024), "fwVersion") == "3.7.1", "fwVersion");
  ScanResponse(state, [](std::string_view json) { return tavorin::scan::ExtractJSON(json, "fwVersion"); });
}

void BM_ExtractJSONBool(benchmark::State& state) {
  Expect(tavorin::scan::ExtractJSONBool(StatusResponse(1024), "online"), "online");
  ScanResponse(state, [](std::string_view json) { return tavorin::scan::ExtractJSONBool(json, "online"); });
}

void BM_ExtractJSONParam(benchmark::State& state) {
  Expect(tavorin::scan::ExtractJSONParam(StatusResponse(1024)) == "on", "params switch");
  ScanResponse(state, [](std::string_view json) { return tavorin::scan::ExtractJSONParam(json); });
}

// The rejected-token marker is absent from a normal answer, so this search
// always runs to the end.
void BM_ContainsAbsentMarker(benchmark::State& state) {
  Expect(!tavorin::scan::Contains(StatusResponse(1024), "\"error\":401"), "marker absent");
  ScanResponse(state, [](std::string_view json) { return tavorin::scan::Contains(json, "\"error\":401"); });
}

}  // namespace

BENCHMARK(BM_ExtractJSON)->RangeMultiplier(4)->Range(kSmallest, kLargest);
BENCHMARK(BM_ExtractJSONBool)->RangeMultiplier(4)->Range(kSmallest, kLargest);
BENCHMARK(BM_ExtractJSONParam)->RangeMultiplier(4)->Range(kSmallest, kLargest);
BENCHMARK(BM_ContainsAbsentMarker)->RangeMultiplier(4)->Range(kSmallest, kLargest);
