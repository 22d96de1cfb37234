// A private network namespace holding only the loopback interface, and the fake GigE Vision
// camera served in it (camaravis_fake): what the tests and the benchmark of the camera over
// Aravis run in, so that no packet of Aravis's ever leaves loopback.
#pragma once

#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

namespace process
{

// Moves this process into a network namespace of its own (a user namespace too when not
// root), with its loopback interface up; returns why not, empty once inside. Only the first
// call does anything.
std::string enter_loopback_namespace();

// The fake camera program at `path`, run with `options` on 127.0.0.1 until stop().
class FakeCamera
{
  public:
    FakeCamera(const std::string &path, std::vector<std::string> options);
    ~FakeCamera();
    FakeCamera(const FakeCamera &) = delete;
    FakeCamera &operator=(const FakeCamera &) = delete;

    // Ends it (woken first, should it have stopped itself) and returns what it holds then:
    // "ExposureTime=<us> Gain=<dB> ExposureAuto=<mode>".
    std::string stop();

    bool ready = false; // it serves
  private:
    pid_t pid_ = 0;
    FILE *out_ = nullptr;
};

} // namespace process
