// The shift buffer against the plain ways of doing the same work, in one run:
// building and dropping a buffer (the reader builds one for each session)
// against allocating and clearing 10 MiB, and appending channel-sized pieces
// against copying them with memcpy.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "diagnostics/log_file.h"
#include "protocol/wire_format.h"
#include "transport/shift_buffer.h"

namespace {

using qvctx::CShiftBuffer;
using qvctx::kChannelReadSize;
using qvctx::kShiftBufferCapacity;

// Appends start over at this fill, so the data stays in the caches the same
// way for the buffer and for the baseline.
constexpr std::uint32_t kRefill = 1u << 20;

void BM_ShiftBufferBuildAndDrop(benchmark::State& state) {
  for (auto _ : state) {
    CShiftBuffer buffer(qvctx::ProcessLogWriter());  // the constructor's clear
                                                     // touches the first page
    benchmark::DoNotOptimize(buffer.GetData());
  }
}
BENCHMARK(BM_ShiftBufferBuildAndDrop);

// Baseline: what a buffer would cost if it cleared its block by hand.
void BM_NewMemsetDelete(benchmark::State& state) {
  for (auto _ : state) {
    auto* block = new std::uint8_t[kShiftBufferCapacity];
    std::memset(block, 0, kShiftBufferCapacity);
    benchmark::DoNotOptimize(block);
    benchmark::ClobberMemory();
    delete[] block;
  }
}
BENCHMARK(BM_NewMemsetDelete);

std::vector<std::uint8_t> Piece() {
  std::vector<std::uint8_t> piece(kChannelReadSize);
  for (std::size_t i = 0; i < piece.size(); ++i) {
    piece[i] = static_cast<std::uint8_t>(i);
  }
  return piece;
}

void BM_ShiftBufferAppendPieces(benchmark::State& state) {
  const std::vector<std::uint8_t> piece = Piece();
  CShiftBuffer buffer(qvctx::ProcessLogWriter());
  for (auto _ : state) {
    if (buffer.Position() >= kRefill) buffer.ClearData();
    buffer.AppendData(piece.data(), static_cast<std::int32_t>(piece.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(piece.size()));
}
BENCHMARK(BM_ShiftBufferAppendPieces);

// Baseline: the same bytes copied to the same offsets with memcpy.
void BM_MemcpyPieces(benchmark::State& state) {
  const std::vector<std::uint8_t> piece = Piece();
  std::vector<std::uint8_t> block(kShiftBufferCapacity);
  std::size_t at = 0;
  for (auto _ : state) {
    if (at >= kRefill) at = 0;
    std::memcpy(block.data() + at, piece.data(), piece.size());
    at += piece.size();
    benchmark::DoNotOptimize(block.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(piece.size()));
}
BENCHMARK(BM_MemcpyPieces);

// The reader's steady state: each read brings one whole package, which is
// consumed at once (a clear, since nothing follows it).
void BM_ShiftBufferAppendThenShift(benchmark::State& state) {
  const std::vector<std::uint8_t> piece = Piece();
  CShiftBuffer buffer(qvctx::ProcessLogWriter());
  for (auto _ : state) {
    buffer.AppendData(piece.data(), static_cast<std::int32_t>(piece.size()));
    buffer.ShiftData(static_cast<std::uint32_t>(piece.size()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(piece.size()));
}
BENCHMARK(BM_ShiftBufferAppendThenShift);

}  // namespace
