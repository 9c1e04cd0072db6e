// wine_ping_pong.exe PORT COUNT [overlapped]: the barest exchange a Windows program can
// have with a reader, for bench_wine's ceilings. No time-outs, and per exchange one
// WriteFile of a connection check and one ReadFile of its 16-byte answer, each waited
// for; nothing else. Without overlapped I/O, or with it (and GetOverlappedResult), which
// Kavonel needs to bound its waits. Prints the exchanges per second of the loop.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/frame.h"
#include "link/reader_requests.h"

int main(int argc, char** argv) {
  if (argc < 3) return std::fprintf(stderr, "usage: wine_ping_pong PORT COUNT [overlapped]\n"), 64;
  const std::string path = std::string("\\\\.\\") + argv[1];
  const int count = std::atoi(argv[2]);
  const bool overlapped = argc > 3 && std::string(argv[3]) == "overlapped";
  const HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    return std::fprintf(stderr, "wine_ping_pong: cannot open %s\n", path.c_str()), 1;
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(port, &dcb);
  dcb.BaudRate = CBR_115200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  SetCommState(port, &dcb);
  COMMTIMEOUTS none{};
  SetCommTimeouts(port, &none);
  uint8_t request[kavonel::kFixedFrameSize];
  kavonel::BuildFixedFrame(request, kavonel::kCheckConnectionRequest.command,
                           kavonel::kCheckConnectionRequest.subCommand);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // Issues one transfer and waits for it to end.
  const auto transfer = [&](bool write, void* data, DWORD size) {
    DWORD moved = 0;
    if (!overlapped) {
      const BOOL done = write ? WriteFile(port, data, size, &moved, nullptr)
                              : ReadFile(port, data, size, &moved, nullptr);
      return done && moved == size;
    }
    const HANDLE event = ov.hEvent;
    ov = OVERLAPPED{};
    ov.hEvent = event;
    BOOL done =
        write ? WriteFile(port, data, size, &moved, &ov) : ReadFile(port, data, size, &moved, &ov);
    if (!done && GetLastError() == ERROR_IO_PENDING) {
      done = GetOverlappedResult(port, &ov, &moved, TRUE);
    }
    return done && moved == size;
  };
  for (int i = 0; i < count; ++i) {
    uint8_t answer[kavonel::kResponseHeadSize];
    if (!transfer(true, request, sizeof request) || !transfer(false, answer, sizeof answer)) {
      return std::fprintf(stderr, "wine_ping_pong: exchange %d failed\n", i), 1;
    }
  }
  QueryPerformanceCounter(&end);
  const double seconds =
      static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  std::printf("%.0f\n", count / seconds);
  CloseHandle(ov.hEvent);
  CloseHandle(port);
  return 0;
}
