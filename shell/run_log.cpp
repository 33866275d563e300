// run_log.cpp — plain text, one line per step, flushed after every line so a crash keeps it.
#include "shell/run_log.h"

#include "platform/win32/windows.h"

RunLog::~RunLog() {
  // A run that never closed its log (a preview, a window closed by its host) still leaves
  // every line on disk: each was flushed. The stream itself is released here.
  if (stream_) std::fclose(stream_);
}

void RunLog::open(const char* fileName) {
  if (!enabled) return;
  open_ = false;
  if (stream_) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  stream_ = std::fopen(fileName, "w");
  if (!stream_) {
    MessageBoxA(nullptr, "Cant create log  file", "Warning", MB_OK);
    return;
  }
  std::fputs("Log started\n\n", stream_);
  std::fflush(stream_);
  open_ = true;
}

void RunLog::line(const char* text) {
  if (!enabled || !open_) return;
  std::fputs(text, stream_);
  std::fputc('\n', stream_);
  std::fflush(stream_);
}

void RunLog::close() {
  if (!enabled || !open_) return;
  std::fputs("\nLog finished\n", stream_);
  std::fflush(stream_);
  std::fclose(stream_);
  stream_ = nullptr;
  open_ = false;
}
