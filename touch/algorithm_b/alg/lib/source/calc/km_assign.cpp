// Touch-ID continuation: each point of the previous frame is given the point of this frame
// that continues it, so that the total travelled distance is smallest (a maximum-weight
// perfect matching of negated distances, solved by the Hungarian method on fixed 11 x 11
// arrays, without allocation).
#include <cmath>
#include <cstring>

#include "luma_calc.h"

namespace {

constexpr int n = LUMA_KM_N;
// Pairs outside the real points: far below any real distance, so real pairs are served first.
constexpr int32_t kFill = -252645136;  // every byte 0xF0
constexpr int32_t kAbsentWeight = -10000;

int32_t s_weight[n][n];
// Labels and slacks are kept wide: the fill weight and label updates would crowd 32 bits.
int64_t lx[n], ly[n], slack[n];
int xy[n], yx[n], slackx[n], prev_row[n];
bool S[n], T[n];
int max_match;

void init_labels() {
  for (int x = 0; x < n; ++x) {
    lx[x] = 0;
    for (int y = 0; y < n; ++y) lx[x] = s_weight[x][y] > lx[x] ? s_weight[x][y] : lx[x];
    ly[x] = 0;
  }
}

void update_labels() {
  int64_t delta = INT64_MAX;
  for (int y = 0; y < n; ++y) {
    if (!T[y] && slack[y] < delta) delta = slack[y];
  }
  for (int x = 0; x < n; ++x) {
    if (S[x]) lx[x] -= delta;
  }
  for (int y = 0; y < n; ++y) {
    if (T[y]) {
      ly[y] += delta;
    } else {
      slack[y] -= delta;
    }
  }
}

void add_to_tree(int x, int prevx) {
  S[x] = true;
  prev_row[x] = prevx;
  for (int y = 0; y < n; ++y) {
    const int64_t s = lx[x] + ly[y] - s_weight[x][y];
    if (s < slack[y]) {
      slack[y] = s;
      slackx[y] = x;
    }
  }
}

void augment() {
  while (max_match != n) {
    int queue[n];
    int wr = 0;
    int rd = 0;
    int root = 0;
    std::memset(S, 0, sizeof(S));
    std::memset(T, 0, sizeof(T));
    for (int i = 0; i < n; ++i) prev_row[i] = -1;
    for (int x = 0; x < n; ++x) {
      if (xy[x] == -1) {
        queue[wr++] = root = x;
        prev_row[x] = -2;
        S[x] = true;
        break;
      }
    }
    for (int y = 0; y < n; ++y) {
      slack[y] = lx[root] + ly[y] - s_weight[root][y];
      slackx[y] = root;
    }
    int x = root;
    int y = n;
    for (;;) {
      while (rd < wr) {
        x = queue[rd++];
        for (y = 0; y < n; ++y) {
          if (s_weight[x][y] == lx[x] + ly[y] && !T[y]) {
            if (yx[y] == -1) break;
            T[y] = true;
            queue[wr++] = yx[y];
            add_to_tree(yx[y], x);
          }
        }
        if (y < n) break;
      }
      if (y < n) break;
      update_labels();
      wr = rd = 0;
      for (y = 0; y < n; ++y) {
        if (!T[y] && slack[y] == 0) {
          if (yx[y] == -1) {
            x = slackx[y];
            break;
          }
          T[y] = true;
          if (!S[yx[y]]) {
            queue[wr++] = yx[y];
            add_to_tree(yx[y], slackx[y]);
          }
        }
      }
      if (y < n) break;
    }
    ++max_match;
    for (int cx = x, cy = y; cx != -2;) {
      const int ty = xy[cx];
      yx[cy] = cx;
      xy[cx] = cy;
      cx = prev_row[cx];
      cy = ty;
    }
  }
}

}  // namespace

extern "C" {

LumaKmResult g_assCalOut;

LumaKmResult *Cal_ID(const int32_t *weights) {
  std::memcpy(s_weight, weights, sizeof(s_weight));
  max_match = 0;
  for (int i = 0; i < n; ++i) xy[i] = yx[i] = -1;
  init_labels();
  augment();
  for (int i = 0; i < n; ++i) g_assCalOut.ausCol[i] = static_cast<uint16_t>(xy[i]);
  return &g_assCalOut;
}

uint8_t DrvCal_KmID(LumaKmIdCtx *ctx) {
  static int32_t weights[n][n];
  for (auto &row : weights) {
    for (int32_t &w : row) w = kFill;
  }
  const int old_num = ctx->ucOldNum < n ? ctx->ucOldNum : n;
  const int new_num = ctx->ucNewNum < n ? ctx->ucNewNum : n;
  for (int i = 0; i < old_num; ++i) {
    for (int j = 0; j < new_num; ++j) {
      const uint16_t ox = ctx->pusOldPos[2 * i];
      const uint16_t oy = ctx->pusOldPos[2 * i + 1];
      const uint16_t nx = ctx->pusNewPos[2 * j];
      const uint16_t ny = ctx->pusNewPos[2 * j + 1];
      if (ox == LUMA_KM_ABSENT || nx == LUMA_KM_ABSENT) {
        weights[i][j] = kAbsentWeight;
        continue;
      }
      const double dx = static_cast<double>(ox) - nx;
      const double dy = static_cast<double>(oy) - ny;
      weights[i][j] = -static_cast<int32_t>(std::sqrt(dx * dx + dy * dy));
    }
  }
  const LumaKmResult *r = Cal_ID(&weights[0][0]);
  if (ctx->pusResult != nullptr) std::memcpy(ctx->pusResult, r->ausCol, sizeof(r->ausCol));
  return 0;
}

}  // extern "C"
