#include "support/stdout_capture.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

namespace mivra_test {

StdoutCapture::StdoutCapture() {
  wchar_t folder[MAX_PATH] = {};
  wchar_t file[MAX_PATH] = {};
  if (!::GetTempPathW(MAX_PATH, folder) || !::GetTempFileNameW(folder, L"mvc", 0, file)) return;
  temp_ = _wopen(file, _O_RDWR | _O_BINARY | _O_TEMPORARY);
  if (temp_ < 0) return;
  std::cout.flush();
  std::fflush(stdout);
  saved_ = _dup(1);
  if (saved_ < 0 || _dup2(temp_, 1) != 0) {
    if (saved_ >= 0) _close(saved_);
    saved_ = -1;
  }
}

StdoutCapture::~StdoutCapture() { Finish(); }

std::string StdoutCapture::Finish() {
  std::string text;
  if (saved_ >= 0) {
    std::cout.flush();
    std::fflush(stdout);
    _dup2(saved_, 1);
    _close(saved_);
    saved_ = -1;
    _lseek(temp_, 0, SEEK_SET);
    char piece[512];
    int got = 0;
    while ((got = _read(temp_, piece, sizeof(piece))) > 0) text.append(piece, static_cast<size_t>(got));
  }
  if (temp_ >= 0) {
    _close(temp_);
    temp_ = -1;
  }
  return text;
}

}  // namespace mivra_test
