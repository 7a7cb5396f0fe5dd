// solvane-frame-grab OUT [--seconds S] [--until-still MS] [--region X,Y,W,H] [--max-mb N] [--half]
// solvane-frame-grab --wait-still MS [--seconds S] [--region X,Y,W,H]
// Grabs the X screen ($DISPLAY) through shared memory as fast as the server answers (some hundred
// grabs a second at 2560 x 1440), keeping every picture that differs from the one before, until
// the time is up, SIGINT or SIGTERM arrives, the memory limit is reached or (--until-still) the
// screen has changed and then stayed unchanged for MS milliseconds; then writes each kept
// picture as OUT/NNNN.png and OUT/index.tsv, one row a picture:
//   frame  ms (since the first grab)  shown_ms (until the next change)  grabs (alike in a row)
//   rows (first-last changed)  white  black  (shares of near-white and near-black pixels, per mille)
//   mark (the name of the last SIGUSR1 mark before it, "-" without)
// SIGUSR1 sets a mark ("m1", "m2", ...) at the time it arrives and is printed with the grab times,
// so a script driving the program with xdotool can tell where its action fell among the frames.
// "grabbing" is printed on standard output once the first picture is taken. A picture's rows that
// did not change are not held twice: a frame keeps only the band of rows it changed, so a second
// of motion at 2560 x 1440 fits in a few hundred megabytes. --half writes the pictures at half
// size (the index still counts full-size pixels).
// --wait-still keeps nothing: it ends with status 0 once the screen has not changed for MS
// milliseconds, 1 when it still changes after S seconds (scripts wait with it for a screen to settle).
// Qt's headers come before Xlib's, whose macros (Status, CursorShape) clash with Qt's names.
#include <QtCore/qstring.h>
#include <QtGui/qimage.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<int> marksRequested{0};

void onStop(int) { stopRequested = true; }
void onMark(int) { ++marksRequested; }

struct Frame {
  double ms = 0;
  int grabs = 1;
  int firstRow = 0;  // the band of rows this frame changed
  int lastRow = -1;
  std::vector<uint32_t> rows;
  int mark = 0;  // the marks set before it was grabbed
};

struct Options {
  std::string out;
  double seconds = 10;
  int x = 0, y = 0, width = 0, height = 0;
  size_t maxBytes = size_t(1500) << 20;
  bool half = false;
  double stillMs = 0;
  double untilStillMs = 0;
};

bool parse(int argc, char** argv, Options& o) {
  if (argc < 2) return false;
  int i = 1;
  if (std::string(argv[1]) != "--wait-still") o.out = argv[i++];
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--seconds") {
      const char* v = next();
      if (!v) return false;
      o.seconds = std::atof(v);
    } else if (a == "--region") {
      const char* v = next();
      if (!v || std::sscanf(v, "%d,%d,%d,%d", &o.x, &o.y, &o.width, &o.height) != 4) return false;
    } else if (a == "--max-mb") {
      const char* v = next();
      if (!v) return false;
      o.maxBytes = size_t(std::atol(v)) << 20;
    } else if (a == "--wait-still") {
      const char* v = next();
      if (!v) return false;
      o.stillMs = std::atof(v);
    } else if (a == "--until-still") {
      const char* v = next();
      if (!v) return false;
      o.untilStillMs = std::atof(v);
    } else if (a == "--half") {
      o.half = true;
    } else {
      return false;
    }
  }
  return o.stillMs > 0 || !o.out.empty();
}

// Shares (per mille) of near-white and near-black pixels in a picture.
void shares(const std::vector<uint32_t>& picture, int& white, int& black) {
  size_t w = 0, b = 0;
  for (uint32_t p : picture) {
    const int r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, bl = p & 0xff;
    if (r >= 245 && g >= 245 && bl >= 245) ++w;
    if (r <= 10 && g <= 10 && bl <= 10) ++b;
  }
  white = int(w * 1000 / std::max<size_t>(1, picture.size()));
  black = int(b * 1000 / std::max<size_t>(1, picture.size()));
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(
        stderr,
        "usage: solvane-frame-grab OUT [--seconds S] [--until-still MS] [--region X,Y,W,H] [--max-mb N] [--half]\n"
        "       solvane-frame-grab --wait-still MS [--seconds S] [--region X,Y,W,H]\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "solvane-frame-grab: no X display\n");
    return 1;
  }
  if (!XShmQueryExtension(display)) {
    std::fprintf(stderr, "solvane-frame-grab: the X server has no shared memory extension\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  if (o.width <= 0 || o.height <= 0) {
    o.x = o.y = 0;
    o.width = DisplayWidth(display, screen);
    o.height = DisplayHeight(display, screen);
  }
  XShmSegmentInfo shm{};
  XImage* image = XShmCreateImage(display, DefaultVisual(display, screen), unsigned(DefaultDepth(display, screen)),
                                  ZPixmap, nullptr, &shm, unsigned(o.width), unsigned(o.height));
  if (!image || image->bits_per_pixel != 32) {
    std::fprintf(stderr, "solvane-frame-grab: only 24/32-bit screens are grabbed\n");
    return 1;
  }
  shm.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * size_t(image->height), IPC_CREAT | 0600);
  if (shm.shmid < 0) {
    std::perror("shmget");
    return 1;
  }
  shm.shmaddr = image->data = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
  shm.readOnly = False;
  XShmAttach(display, &shm);
  XSync(display, False);
  // Removed now: the segment goes when both sides detach, however the grabber ends.
  shmctl(shm.shmid, IPC_RMID, nullptr);

  std::signal(SIGINT, onStop);
  std::signal(SIGTERM, onStop);
  std::signal(SIGUSR1, onMark);

  const int w = o.width, h = o.height;
  std::vector<uint32_t> last(size_t(w) * size_t(h), 0);
  std::vector<Frame> frames;
  std::vector<double> markTimes;
  size_t held = 0;
  size_t grabs = 0;
  const auto start = std::chrono::steady_clock::now();
  auto elapsedMs = [&] {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  };
  bool full = false;
  if (o.stillMs > 0) {
    // Only whether anything changed: the last picture is all that is held.
    double changed = 0;
    bool first = true;
    while (!stopRequested && elapsedMs() < o.seconds * 1000) {
      if (!XShmGetImage(display, root, image, o.x, o.y, AllPlanes)) break;
      const double ms = elapsedMs();
      bool same = !first;
      for (int row = 0; row < h; ++row) {
        const auto* src = reinterpret_cast<const uint32_t*>(image->data + size_t(row) * size_t(image->bytes_per_line));
        uint32_t* kept = &last[size_t(row) * size_t(w)];
        if (std::memcmp(src, kept, size_t(w) * 4) != 0) {
          std::memcpy(kept, src, size_t(w) * 4);
          same = false;
        }
      }
      first = false;
      if (!same) changed = ms;
      if (ms - changed >= o.stillMs) return 0;
    }
    return 1;
  }
  while (!stopRequested && elapsedMs() < o.seconds * 1000) {
    while (int(markTimes.size()) < marksRequested) markTimes.push_back(elapsedMs());
    if (!XShmGetImage(display, root, image, o.x, o.y, AllPlanes)) break;
    const double ms = elapsedMs();
    ++grabs;
    int first = -1, lastRow = -1;
    for (int row = 0; row < h; ++row) {
      const auto* src = reinterpret_cast<const uint32_t*>(image->data + size_t(row) * size_t(image->bytes_per_line));
      if (std::memcmp(src, &last[size_t(row) * size_t(w)], size_t(w) * 4) != 0 || frames.empty()) {
        if (first < 0) first = row;
        lastRow = row;
      }
    }
    if (first < 0) {
      ++frames.back().grabs;
      if (o.untilStillMs > 0 && frames.size() >= 2 && ms - frames.back().ms >= o.untilStillMs) break;
      continue;
    }
    if (held + size_t(lastRow - first + 1) * size_t(w) * 4 > o.maxBytes) {
      full = true;
      break;
    }
    Frame f;
    f.ms = ms;
    f.firstRow = first;
    f.lastRow = lastRow;
    f.mark = int(markTimes.size());
    f.rows.resize(size_t(lastRow - first + 1) * size_t(w));
    for (int row = first; row <= lastRow; ++row) {
      const auto* src = reinterpret_cast<const uint32_t*>(image->data + size_t(row) * size_t(image->bytes_per_line));
      std::memcpy(&last[size_t(row) * size_t(w)], src, size_t(w) * 4);
      std::memcpy(&f.rows[size_t(row - first) * size_t(w)], src, size_t(w) * 4);
    }
    held += f.rows.size() * 4;
    frames.push_back(std::move(f));
    if (frames.size() == 1) {
      std::printf("grabbing\n");
      std::fflush(stdout);
    }
  }
  const double total = elapsedMs();
  XShmDetach(display, &shm);
  shmdt(shm.shmaddr);
  XDestroyImage(image);
  XCloseDisplay(display);

  std::filesystem::create_directories(o.out);
  std::printf("%zu grabs in %.0f ms (%.0f a second), %zu different pictures%s\n", grabs, total,
              grabs * 1000.0 / std::max(1.0, total), frames.size(), full ? " (memory limit reached)" : "");
  for (size_t i = 0; i < markTimes.size(); ++i) std::printf("mark m%zu at %.1f ms\n", i + 1, markTimes[i]);
  FILE* index = std::fopen((o.out + "/index.tsv").c_str(), "w");
  if (!index) {
    std::perror("index.tsv");
    return 1;
  }
  std::fprintf(index, "frame\tms\tshown_ms\tgrabs\trows\twhite\tblack\tmark\n");
  // Pictures are put back together in order and written on a few threads.
  std::vector<uint32_t> picture(size_t(w) * size_t(h), 0);
  std::vector<std::future<bool>> writes;
  bool ok = true;
  for (size_t i = 0; i < frames.size(); ++i) {
    Frame& f = frames[i];
    std::memcpy(&picture[size_t(f.firstRow) * size_t(w)], f.rows.data(), f.rows.size() * 4);
    std::vector<uint32_t>().swap(f.rows);
    int white = 0, black = 0;
    shares(picture, white, black);
    const double shown = (i + 1 < frames.size() ? frames[i + 1].ms : total) - f.ms;
    const std::string mark = f.mark ? "m" + std::to_string(f.mark) : "-";
    std::fprintf(index, "%04zu\t%.1f\t%.1f\t%d\t%d-%d\t%d\t%d\t%s\n", i, f.ms, shown, f.grabs, f.firstRow, f.lastRow,
                 white, black, mark.c_str());
    QImage copy = QImage(reinterpret_cast<const uchar*>(picture.data()), w, h, w * 4, QImage::Format_RGB32).copy();
    char name[32];
    std::snprintf(name, sizeof name, "/%04zu.png", i);
    const QString path = QString::fromStdString(o.out + name);
    const bool half = o.half;
    writes.push_back(std::async(std::launch::async, [copy = std::move(copy), path, half] {
      const QImage out =
          half ? copy.scaled(copy.width() / 2, copy.height() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
               : copy;
      return out.save(path, "PNG", 80);
    }));
    if (writes.size() >= 3) {
      ok = writes.front().get() && ok;
      writes.erase(writes.begin());
    }
  }
  for (auto& write : writes) ok = write.get() && ok;
  std::fclose(index);
  if (!ok) {
    std::fprintf(stderr, "solvane-frame-grab: a picture could not be written into %s\n", o.out.c_str());
    return 1;
  }
  return 0;
}
