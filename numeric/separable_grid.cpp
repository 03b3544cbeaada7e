#include "numeric/separable_grid.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "numeric/simd_kernels.h"

namespace orvex::numeric {

namespace {

// A tile is the unit of work: its terms are packed into dense strips and multiplied in
// registers. 48 x 64 cells make the packing (48 + 64 values per term) about 4 % of the
// multiply-adds (3072 per term) while the KDE tool's windows of some ten to a thousand cells
// a side waste little on padding. Terms go through in blocks of 64 so that the packed strips
// (24 KB and 32 KB) stay in the first- and second-level caches.
constexpr std::size_t kTileRows = SeparableProduct::kTileRows;
constexpr std::size_t kTileColumns = SeparableProduct::kTileColumns;
constexpr std::size_t kTermBlock = 64;
// Rows per register block: 6 rows x 2 registers of accumulators fit the 16 registers of SSE2 and
// AVX2 and the 32 of AVX-512 with room for the loads.
constexpr std::size_t kPanelRows = 6;
constexpr std::size_t kPanelColumns = 2 * kLanes;
static_assert(kTileRows % kPanelRows == 0 && kTileColumns % kPanelColumns == 0);

bool meets(const FactorSpan& span, std::size_t first, std::size_t count) {
  return span.begin < span.end && span.begin < first + count && first < span.end;
}

// dst[i] = the factor of axis index first + i (0 outside the span), i < kCount. Inlined into
// each instruction set's tile code so that the copies run in its vectors.
template <std::size_t kCount>
[[gnu::always_inline]] inline void fill_strip(const FactorSpan& span, const double* values, std::size_t first,
                                              double* dst) {
  if (span.begin <= first && first + kCount <= span.end) {  // the common case: the span covers the strip
    const double* src = values + span.offset + (first - span.begin);
    for (std::size_t i = 0; i < kCount; ++i) dst[i] = src[i];
    return;
  }
  // By whole vectors, each inside, outside or across the span's ends: a copy loop over the
  // span would become a library call per strip, which costs more than the short copy itself.
#pragma GCC unroll 8
  for (std::size_t j = 0; j < kCount; j += kLanes) {
    const std::size_t at = first + j;
    if (span.begin <= at && at + kLanes <= span.end) {
      std::memcpy(dst + j, values + span.offset + (at - span.begin), kLanes * sizeof(double));
    } else if (at + kLanes <= span.begin || span.end <= at) {
      for (std::size_t i = 0; i < kLanes; ++i) dst[j + i] = 0.0;
    } else {
      for (std::size_t i = 0; i < kLanes; ++i) {
        const std::size_t cell = at + i;
        dst[j + i] =
            (cell >= span.begin && cell < span.end) ? values[span.offset + (cell - span.begin)] : 0.0;
      }
    }
  }
}

// Everything one tile needs, independent of the instruction set.
struct TileJob {
  const SeparableTerms* terms;
  const std::vector<std::size_t>* candidates;  // the terms meeting the tile's band of rows
  std::size_t first_row;
  std::size_t row_count;  // up to kTileRows; the rest of the tile is padding
  std::size_t first_column;
  std::size_t column_count;
  double* out;         // cell (first_row, first_column)
  std::size_t stride;  // cells per grid row
  bool overwrite;      // the tile's cells are taken as 0 and never read
};

// cell(i, j) = cell(i, j) + a[k][i] * b[k][j], k = 0 .. count - 1 in order, for the kPanelRows x
// 2 vectors of cells at c (row stride kTileColumns). Term k's row factors start at
// a + k * kTileRows, its column factors at b + k * kTileColumns. Written as a separate multiply and add: the
// build keeps floating-point contraction off, so each step rounds exactly as the scalar loop does. The
// columns go through in strips of two registers of `Isa`, so that the accumulators stay in registers on
// every set; each cell still takes its terms in order.
// With kIndexed, the terms are those of `terms` (count of them, ascending) rather than 0 .. count - 1.
template <class Isa, bool kIndexed>
[[gnu::always_inline]] inline void panel_product(const double* a, const double* b, const std::uint8_t* terms,
                                                 std::size_t count, double* c) {
  using V = typename Isa::Register;
  constexpr std::size_t kStrip = 2 * kRegisterLanes<Isa>;
  static_assert(kPanelColumns % kStrip == 0);
#pragma GCC unroll 4
  for (std::size_t j0 = 0; j0 < kPanelColumns; j0 += kStrip) {
    V acc[kPanelRows][2];
#pragma GCC unroll 8
    for (std::size_t i = 0; i < kPanelRows; ++i) {
      std::memcpy(&acc[i][0], c + i * kTileColumns + j0, sizeof(V));
      std::memcpy(&acc[i][1], c + i * kTileColumns + j0 + kStrip / 2, sizeof(V));
    }
    for (std::size_t n = 0; n < count; ++n) {
      const std::size_t k = kIndexed ? terms[n] : n;
      V b0;
      V b1;
      std::memcpy(&b0, b + k * kTileColumns + j0, sizeof(V));
      std::memcpy(&b1, b + k * kTileColumns + j0 + kStrip / 2, sizeof(V));
#pragma GCC unroll 8
      for (std::size_t i = 0; i < kPanelRows; ++i) {
        const double ai = a[k * kTileRows + i];
        const V p0 = b0 * ai;
        const V p1 = b1 * ai;
        acc[i][0] = acc[i][0] + p0;
        acc[i][1] = acc[i][1] + p1;
      }
    }
#pragma GCC unroll 8
    for (std::size_t i = 0; i < kPanelRows; ++i) {
      std::memcpy(c + i * kTileColumns + j0, &acc[i][0], sizeof(V));
      std::memcpy(c + i * kTileColumns + j0 + kStrip / 2, &acc[i][1], sizeof(V));
    }
  }
}

template <class Isa>
[[gnu::always_inline]] inline void tile_product(const TileJob& job) {
  alignas(64) double cells[kTileRows * kTileColumns] = {};
  alignas(64) double a[kTermBlock * kTileRows];
  alignas(64) double b[kTermBlock * kTileColumns];
  for (std::size_t i = 0; i < job.row_count && !job.overwrite; ++i) {
    std::memcpy(cells + i * kTileColumns, job.out + i * job.stride, job.column_count * sizeof(double));
  }

  // Panels wholly in the padding of an edge tile are left out.
  const std::size_t used_row_panels = (job.row_count + kPanelRows - 1) / kPanelRows;
  const std::size_t used_column_panels = (job.column_count + kPanelColumns - 1) / kPanelColumns;
  // Bit k of a panel row's (column's) mask: term k of the block meets that row (column) of panels.
  static_assert(kTermBlock <= 64);
  constexpr std::size_t kRowPanels = kTileRows / kPanelRows;
  constexpr std::size_t kColumnPanels = kTileColumns / kPanelColumns;
  std::uint64_t row_masks[kRowPanels] = {};
  std::uint64_t column_masks[kColumnPanels] = {};
  std::uint8_t meeting[kTermBlock];
  // Inlined, so that it is compiled for the tile's instruction set.
  auto flush = [&](std::size_t count) __attribute__((always_inline)) {
    const std::uint64_t all = count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
    for (std::size_t q = 0; q < used_column_panels; ++q) {
      for (std::size_t p = 0; p < used_row_panels; ++p) {
        double* panel = cells + p * kPanelRows * kTileColumns + q * kPanelColumns;
        std::uint64_t met = row_masks[p] & column_masks[q];
        // A term that misses the panel holds factors of 0 there: its products (0 for finite
        // factors) would leave the cells as they are, so it is left out.
        if (met == all) {
          panel_product<Isa, false>(a + p * kPanelRows, b + q * kPanelColumns, nullptr, count, panel);
        } else if (met != 0) {
          std::size_t n = 0;
          for (; met != 0; met &= met - 1) meeting[n++] = static_cast<std::uint8_t>(__builtin_ctzll(met));
          panel_product<Isa, true>(a + p * kPanelRows, b + q * kPanelColumns, meeting, n, panel);
        }
      }
    }
    for (std::uint64_t& mask : row_masks) mask = 0;
    for (std::uint64_t& mask : column_masks) mask = 0;
  };
  // Marks term `bit` in the masks of the panels that the axis indices [begin, end) meet.
  const auto mark = [](const FactorSpan& span, std::size_t first, std::size_t count, std::size_t size,
                       std::uint64_t* masks, std::size_t bit) __attribute__((always_inline)) {
    const std::size_t lo = (std::max(span.begin, first) - first) / size;
    const std::size_t hi = (std::min(span.end, first + count) - 1 - first) / size;
    for (std::size_t i = lo; i <= hi; ++i) masks[i] |= std::uint64_t{1} << bit;
  };
  std::size_t in_block = 0;
  const SeparableTerms& t = *job.terms;
  for (const std::size_t k : *job.candidates) {
    const FactorSpan& columns = t.columns[k];
    if (!meets(columns, job.first_column, job.column_count)) continue;
    fill_strip<kTileRows>(t.rows[k], t.row_values.data(), job.first_row, a + in_block * kTileRows);
    fill_strip<kTileColumns>(columns, t.column_values.data(), job.first_column, b + in_block * kTileColumns);
    mark(t.rows[k], job.first_row, job.row_count, kPanelRows, row_masks, in_block);
    mark(columns, job.first_column, job.column_count, kPanelColumns, column_masks, in_block);
    if (++in_block == kTermBlock) {
      flush(in_block);
      in_block = 0;
    }
  }
  if (in_block > 0) flush(in_block);

  for (std::size_t i = 0; i < job.row_count; ++i) {
    std::memcpy(job.out + i * job.stride, cells + i * kTileColumns, job.column_count * sizeof(double));
  }
}

ORVEX_SIMD_CLONES(tile_at, tile_product)

std::size_t ceil_div(std::size_t a, std::size_t b) { return a / b + (a % b != 0 ? 1 : 0); }

}  // namespace

SeparableProduct::SeparableProduct(std::size_t rows, std::size_t columns, SeparableTerms terms)
    : rows_(rows),
      columns_(columns),
      terms_(terms),
      tile_rows_(ceil_div(rows, kTileRows)),
      tile_columns_(ceil_div(columns, kTileColumns)),
      band_terms_(tile_rows_) {
  for (std::size_t k = 0; k < terms.rows.size(); ++k) {
    const FactorSpan& r = terms.rows[k];
    const FactorSpan& c = terms.columns[k];
    if (r.begin >= r.end || c.begin >= c.end) continue;
    for (std::size_t band = r.begin / kTileRows; band <= (r.end - 1) / kTileRows; ++band) {
      band_terms_[band].push_back(k);
    }
  }
}

void SeparableProduct::add_tile(std::size_t tile, std::span<double> out, SimdLevel level) const {
  run_tile(tile, out, level, false);
}

void SeparableProduct::write_tile(std::size_t tile, std::span<double> out, SimdLevel level) const {
  run_tile(tile, out, level, true);
}

void SeparableProduct::run_tile(std::size_t tile, std::span<double> out, SimdLevel level,
                                bool overwrite) const {
  const std::size_t band = tile / tile_columns_;
  const std::size_t first_row = band * kTileRows;
  const std::size_t first_column = (tile % tile_columns_) * kTileColumns;
  const TileJob job{&terms_,
                    &band_terms_[band],
                    first_row,
                    std::min(kTileRows, rows_ - first_row),
                    first_column,
                    std::min(kTileColumns, columns_ - first_column),
                    out.data() + first_row * columns_ + first_column,
                    columns_,
                    overwrite};
  tile_at(level, job);
}

double SeparableProduct::work() const {
  double work = 0.0;
  for (std::size_t band = 0; band < tile_rows_; ++band) {
    for (std::size_t tc = 0; tc < tile_columns_; ++tc) {
      const std::size_t first = tc * kTileColumns;
      const std::size_t count = std::min(kTileColumns, columns_ - first);
      std::size_t meeting = 0;
      for (const std::size_t k : band_terms_[band]) meeting += meets(terms_.columns[k], first, count) ? 1 : 0;
      work += static_cast<double>(meeting) * static_cast<double>(kTileRows * kTileColumns);
    }
  }
  return work;
}

}  // namespace orvex::numeric
