// run_log.h — the optional text log of a run's steps ("Saver_Log.txt", "Config_Log.txt").
#pragma once

#include <cstdio>

class RunLog {
 public:
  RunLog() = default;
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Creates or truncates the file in the current directory and writes the opening lines;
  // shows a warning box and stays closed when the file cannot be made. Nothing when disabled.
  void open(const char* fileName);
  // One line, flushed at once; a text with line feeds spans several lines.
  void line(const char* text);
  // Writes the closing lines and closes; a second close does nothing.
  void close();

  bool enabled = true;   // overwritten from the application's logging switch before open
  bool isOpen() const { return open_; }

 private:
  std::FILE* stream_ = nullptr;
  bool open_ = false;
};
