// Capture files under /data/vendor/touch: one open file per capture mode, closed when it
// grows past its limit or a write fails, under timestamped names of which a bounded number
// is kept; and the test-mode text snapshots.
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "rawdata/raw_data.h"

namespace {

// Rings of the names made, so that only the newest `capacity` files of a kind remain.
class NameRing {
 public:
  explicit NameRing(size_t capacity) : capacity_(capacity) {}
  // Stores the name, deleting the file whose name it displaces.
  void add(const std::string &name) {
    if (names_.size() < capacity_) {
      names_.push_back(name);
      return;
    }
    if (names_[pos_] != name) plat_unlink(names_[pos_].c_str());
    names_[pos_] = name;
    pos_ = (pos_ + 1) % capacity_;
  }

 private:
  size_t capacity_;
  std::vector<std::string> names_;
  size_t pos_ = 0;
};

struct ModeFile {
  ModeFile(int32_t m, const char *f, size_t keep) : mode(m), format(f), names(keep) {}
  int32_t mode;
  const char *format;
  NameRing names;
  FILE *file = nullptr;
  std::string path;  // system path of the open file
  std::string stampedName;  // mode 1076: the name the live file takes when it closes
};

std::mutex g_filesLock;
ModeFile g_files[] = {
    {HAL_RAW_MODE_TEST, "%d-%02d-%02d_%02d-%02d-%02d_test_raw.dat", 1000},
    {HAL_RAW_MODE_RAW, "%d-%02d-%02d_%02d-%02d-%02d_raw.dat", 10},
    {HAL_RAW_MODE_BREAKLINE, "%d-%02d-%02d_%02d-%02d-%02d_breakline_raw.dat", 1000},
    {HAL_RAW_MODE_TRIGGER, "%d-%02d-%02d_%02d-%02d-%02d_trigger_raw.dat", 1000},
};
NameRing g_textNames(1000);

ModeFile *fileOf(int32_t mode) {
  for (ModeFile &f : g_files)
    if (f.mode == mode) return &f;
  return nullptr;
}

std::string makeName(const ModeFile &f) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  HalRtcTime tm;
  rtc_time_to_tm(static_cast<uint64_t>(tv.tv_sec), &tm);
  char name[HAL_RAW_NAME_MAX];
  const int n = snprintf(name, sizeof name, "%s", HAL_RAW_DIR);
  snprintf(name + n, sizeof name - static_cast<size_t>(n), f.format, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
           tm.tm_hour, tm.tm_min, tm.tm_sec);
  return name;
}

// Called with g_filesLock held.
void closeLocked(ModeFile &f, bool moveLive) {
  if (f.file == nullptr) return;
  fflush(f.file);
  fclose(f.file);
  f.file = nullptr;
  if (f.mode == HAL_RAW_MODE_RAW && moveLive && !f.stampedName.empty()) {
    plat_rename(HAL_RAW_LIVE_FILE, f.stampedName.c_str());
  }
  f.path.clear();
}

bool writeAll(FILE *file, const uint8_t *bytes, uint32_t length) {
  if (length == 0 || bytes == nullptr) return true;
  return fwrite(bytes, 1, length, file) == length;
}

}  // namespace

void thp_raw_frame_save(int32_t mode, const uint8_t *header, const uint8_t *frame, uint32_t header_length,
                        uint32_t frame_length) {
  std::lock_guard<std::mutex> guard(g_filesLock);
  ModeFile *f = fileOf(mode);
  if (f == nullptr) return;
  bool failed = false;
  if (f->file == nullptr) {
    const std::string name = makeName(*f);
    f->names.add(name);
    f->path = mode == HAL_RAW_MODE_RAW ? HAL_RAW_LIVE_FILE : name;
    f->stampedName = name;
    plat_mkdir_p(HAL_RAW_DIR, 0770);
    f->file = plat_fopen(f->path.c_str(), "wb");
    if (f->file == nullptr) {
      HAL_LOG_AS(HAL_LOG_ERROR, "thp_create_raw_file", "can't create raw file:%s\n", f->path.c_str());
      f->path.clear();
      return;
    }
    chmod(plat_path(f->path).c_str(), 0660);
    failed = !writeAll(f->file, header, header_length);
  }
  const long size = ftell(f->file);
  failed = !writeAll(f->file, frame, frame_length) || failed;
  if (failed || size > HAL_RAW_FILE_LIMIT) closeLocked(*f, true);
}

void thp_save_raw_dump_close(int32_t mode) {
  std::lock_guard<std::mutex> guard(g_filesLock);
  if (ModeFile *f = fileOf(mode)) closeLocked(*f, true);
}

bool hal_raw_file_open(int32_t mode) {
  std::lock_guard<std::mutex> guard(g_filesLock);
  ModeFile *f = fileOf(mode);
  return f != nullptr && f->file != nullptr;
}

int32_t thp_save_single_frame(const int16_t *filtered, const int16_t *unfiltered, int32_t per_row, int32_t rows,
                              const char *suffix) {
  if (suffix == nullptr || per_row <= 0 || rows <= 0) return -1;
  const std::string name = std::string(HAL_RAW_DIR) + suffix;
  {
    std::lock_guard<std::mutex> guard(g_filesLock);
    g_textNames.add(name);
  }
  plat_mkdir_p(HAL_RAW_DIR, 0770);
  FILE *file = plat_fopen(name.c_str(), "w");
  if (file == nullptr) {
    HAL_LOGE("can't open file:%s\n", name.c_str());
    return -1;
  }
  chmod(plat_path(name).c_str(), 0660);
  const struct {
    const char *title;
    const int16_t *frame;
  } blocks[] = {{"before filter", unfiltered}, {"after filter", filtered}};
  for (const auto &b : blocks) {
    if (b.frame == nullptr) continue;
    std::string text = std::string(b.title) + "\n      ";
    for (int32_t c = 0; c < per_row; ++c) {
      char label[16];
      snprintf(label, sizeof label, "  TX%-2d", c);
      text += label;
    }
    text += "\n";
    for (int32_t r = 0; r < rows; ++r) {
      char label[16];
      snprintf(label, sizeof label, "RX%-2d  ", r);
      text += label;
      for (int32_t c = 0; c < per_row; ++c) {
        char v[16];
        snprintf(v, sizeof v, "%6d", b.frame[static_cast<size_t>(r) * per_row + c]);
        text += v;
      }
      text += "\n";
      if (text.size() >= HAL_RAW_TEXT_BLOCK) {
        fwrite(text.data(), 1, text.size(), file);
        text.clear();
      }
    }
    fwrite(text.data(), 1, text.size(), file);
  }
  fclose(file);
  return 0;
}
