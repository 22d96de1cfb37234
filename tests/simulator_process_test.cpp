// The simulated camera as processes see it: the 13 operations, fault injection and the
// call log for each, malformed knobs, the state file shared by processes, frame files.
#include "bmp.h"
#include "operation.h"
#include "harness.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <random>
#include <regex>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace harness;

namespace
{

void write_all_to(int fd, const std::string &bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

Launch client(const std::vector<std::string> &args)
{
    Launch run;
    run.program = std::string(CAMKIT_TEST_BIN_DIR) + "/sdk_client";
    run.args = args;
    return run;
}

TEST(Simulator, AnSdkClientGetsTenFramesAnIndependentDecoderReads)
{
    Camera camera;
    Launch run = client({"series"});
    run.knobs["CAMSIM_SENSOR"] = "640x480";
    Result result = camera.run(run);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.find(" -"), std::string::npos) << result.out; // every code 0
    EXPECT_EQ(result.entries, frame_names());
    for (const std::string &name : frame_names()) {
        SCOPED_TRACE(name);
        Grey frame = decode_with_bmptopnm(camera.directory() + "/work1/" + name);
        ASSERT_EQ(frame.error, "");
        EXPECT_EQ(frame.width, 640u);
        EXPECT_EQ(frame.height, 480u);
        EXPECT_GT(mean(frame), 40.0);
        EXPECT_LT(mean(frame), 200.0);
    }
}

TEST(Simulator, EveryOperationCanBeMadeToFailAndIsLogged)
{
    for (const char *operation : core::operation_names) {
        SCOPED_TRACE(operation);
        Launch run = client({"series"});
        run.knobs["CAMSIM_FAIL"] = std::string(operation) + "@1=-77";
        Result result = harness::run(run);
        EXPECT_EQ(result.err, "");
        // The client prints each call's code; the first call of this one returned -77.
        EXPECT_NE(result.out.find(std::string(operation) + " -77\n"), std::string::npos)
            << result.out;
        std::vector<std::string> logged = calls_of(result.calls, operation);
        ASSERT_FALSE(logged.empty());
        const std::string suffix = " -> -77 (injected)";
        EXPECT_EQ(logged[0].substr(logged[0].size() - suffix.size()), suffix);
        // Every call is logged, the failed one included: 1+1+1+1+1+1+1+2+30+2 = 41 lines.
        EXPECT_EQ(result.calls.size(), 41u);
    }
}

TEST(Simulator, MalformedKnobsAreReportedOnceAndIgnored)
{
    // Each knob's refusals are rows of the configuration's own test; here, what a program's
    // user sees of one.
    const std::pair<const char *, const char *> knobs[] = {
        {"CAMSIM_SENSOR", "big"},
        {"CAMSIM_FAIL", "fc2Conect=3"},
    };
    for (const auto &[name, value] : knobs) {
        SCOPED_TRACE(std::string(name) + "=" + value);
        Launch run;
        run.program = "consulta_exposicion";
        run.knobs[name] = value;
        Result result = harness::run(run);
        EXPECT_EQ(result.out, "Lectura de Shutter Speed = 10.0ms\n");
        EXPECT_EQ(result.status, 0);
        // CAMSIM_FAIL is checked entry by entry.
        const std::string start = std::string("camsim: ignoring ") + name +
                                  (std::string(name) == "CAMSIM_FAIL" ? " entry '" : "='") + value +
                                  "': ";
        EXPECT_EQ(result.err.compare(0, start.size(), start), 0) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
    }
}

TEST(Simulator, TwoProcessesWritingAtOnceLoseNoChange)
{
    Camera camera;
    auto hammer = [&camera](const char *type, const char *first, Result &result) {
        Camera own; // its own working directories, the shared camera's state
        Launch run = client({"hammer", type, "1000", first, "0.01"});
        run.knobs["CAMSIM_STATE"] = camera.state_path();
        result = own.run(run);
    };
    Result shutter, gain;
    std::thread a(hammer, "12", "1", std::ref(shutter));
    std::thread b(hammer, "13", "2", std::ref(gain));
    a.join();
    b.join();
    EXPECT_EQ(shutter.out, "failures 0\n");
    EXPECT_EQ(gain.out, "failures 0\n");
    EXPECT_EQ(shutter.err + gain.err, "");
    // Each process's last write survives the other's.
    Launch read;
    read.program = "consulta_exposicion";
    EXPECT_EQ(camera.run(read).out, "Lectura de Shutter Speed = 11.0ms\n");
    read.program = "consulta_amplificacion";
    char gain_line[64];
    snprintf(gain_line, sizeof gain_line, "Lectura de Ganancia = %fdB\n", 2.0f + 0.01f * 999);
    EXPECT_EQ(camera.run(read).out, gain_line);
    std::string state = read_file(camera.state_path());
    EXPECT_EQ(state.compare(0, 15, "camsim-state 1\n"), 0);
    EXPECT_EQ(std::count(state.begin(), state.end(), '\n'), 4);
}

TEST(Simulator, SavingReplacesALinkAtTheFrameNameAndNeverFollowsIt)
{
    Camera camera;
    write_file(camera.directory() + "/outside.txt", "not a frame");
    Launch run;
    run.program = "captura_simple";
    run.prepare = [&camera](const std::string &dir) {
        ASSERT_EQ(
            symlink((camera.directory() + "/outside.txt").c_str(), (dir + "/0001.bmp").c_str()), 0);
        ASSERT_EQ(mkdir((dir + "/0003.bmp").c_str(), 0755), 0);
    };
    Result result = camera.run(run);
    EXPECT_EQ(result.out, "Error in fc2SaveImage: 10\nPlease check write permissions.\n");
    EXPECT_EQ(read_file(camera.directory() + "/outside.txt"), "not a frame");
    EXPECT_EQ(decode_bmp(result.files["0001.bmp"]).error, "");
    EXPECT_EQ(result.entries, frame_names()); // 0003.bmp is still the directory; no leftovers
    EXPECT_EQ(result.files.count("0003.bmp"), 0u);
}

struct PartlyBadFaults {
    const char *fail;
    const char *out;
    const char *err;
};

TEST(Simulator, ABadFaultEntryIsReportedAloneAndTheOthersStayInForce)
{
    const PartlyBadFaults cases[] = {
        {"fc2Conect=3,fc2GetProperty=-4", "Error in fc2GetProperty: -4\n",
         "camsim: ignoring CAMSIM_FAIL entry 'fc2Conect=3': 'fc2Conect' is not one of the 13 "
         "operations\n"},
        {"fc2GetProperty=-4,,", "Error in fc2GetProperty: -4\n", ""},
        {"fc2GetProperty@1+=-4,fc2Connect=1/x,fc2Connect@0=2", "Error in fc2GetProperty: -4\n",
         "camsim: ignoring CAMSIM_FAIL entry 'fc2Connect=1/x': the delay must be a whole number "
         "of milliseconds from 0 to 3600000\n"
         "camsim: ignoring CAMSIM_FAIL entry 'fc2Connect@0=2': the call number must be a whole "
         "number from 1, optionally followed by '+'\n"},
    };
    for (const PartlyBadFaults &c : cases) {
        SCOPED_TRACE(c.fail);
        Result result = harness::run(with_faults("consulta_exposicion", c.fail));
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, 0);
    }
}

// Frame number and time (ms) of each fc2RetrieveBuffer line that took a frame.
struct Taken {
    long frame;
    double time;
    std::string code;
};

std::vector<Taken> frames_taken(const Result &result)
{
    std::vector<Taken> taken;
    for (const std::string &line : calls_of(result.calls, "fc2RetrieveBuffer")) {
        std::map<std::string, std::string> f = fields(line);
        if (f.count("frame"))
            taken.push_back({std::stol(f["frame"]), std::stod(f["time"]), f["code"]});
    }
    return taken;
}

// A client run with the sensor at `fps` frames a second (the client sets a short shutter, so
// the frame rate alone sets the period).
Result paced(const std::vector<std::string> &args, const std::string &fps)
{
    Launch run = client(args);
    run.knobs["CAMSIM_FPS"] = fps;
    return harness::run(run);
}

TEST(SensorClock, AConsumerSleepingTwoPeriodsSeesFrameNumbersSkip)
{
    // 100 frames a second; the client sleeps 20 ms after each retrieval.
    Result result = paced({"stream", "1", "10", "20000", "1"}, "100");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.compare(0, 21, "capture 0 failures 0 "), 0) << result.out;
    std::vector<Taken> taken = frames_taken(result);
    ASSERT_EQ(taken.size(), 10u);
    EXPECT_EQ(taken[0].frame, 0);
    for (size_t i = 0; i < taken.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(taken[i].time, (taken[i].frame + 1) * 10.0); // on the sensor's grid
        if (i > 0) { // two periods later the sensor has made at least two frames more
            EXPECT_GE(taken[i].frame - taken[i - 1].frame, 2);
        }
    }
}

TEST(SensorClock, TheGridDoesNotDriftOverALongRun)
{
    // 500 frames at 500 frames a second, taken as fast as the client can.
    Result result = paced({"stream", "1", "500", "0", "1"}, "500");
    EXPECT_EQ(result.err, "");
    double last_ms = 0;
    ASSERT_EQ(std::sscanf(result.out.c_str(), "capture 0 failures 0 last %lf", &last_ms), 1)
        << result.out;
    std::vector<Taken> taken = frames_taken(result);
    ASSERT_EQ(taken.size(), 500u);
    const Taken &last = taken.back();
    EXPECT_DOUBLE_EQ(last.time, (last.frame + 1) * 2.0);
    // The last frame came no sooner than the grid has it, and late wake-ups did not add up.
    EXPECT_GE(last_ms, last.time);
    EXPECT_LE(last_ms, last.time * 1.05 + 50) << "frame " << last.frame;
}

TEST(SensorClock, ThreadsOnOneContextShareTheFramesAtTheSensorsRate)
{
    // Three threads take ten frames each at 200 frames a second.
    Result result = paced({"threads", "3", "10", "1"}, "200");
    EXPECT_EQ(result.err, "");
    double last_ms = 0;
    ASSERT_EQ(std::sscanf(result.out.c_str(), "failures 0 last %lf", &last_ms), 1) << result.out;
    std::set<long> numbers;
    for (const Taken &t : frames_taken(result))
        numbers.insert(t.frame);
    EXPECT_EQ(numbers.size(), 30u); // each frame delivered once
    // Thirty frames, the first a period after the start: the last is ready 30 periods after it.
    EXPECT_GE(last_ms, 30 * 5.0);
}

TEST(SensorClock, AShutterWrittenElsewhereSetsThePeriodFromTheNextFrame)
{
    // 100 frames a second at 1 ms; then another context sets 25 ms, longer than 1/100 s.
    Result result = paced({"retime", "4", "1", "25"}, "100");
    EXPECT_EQ(result.out, "failures 0\n");
    std::vector<Taken> taken = frames_taken(result);
    ASSERT_EQ(taken.size(), 8u);
    for (size_t i = 1; i < taken.size(); ++i) {
        SCOPED_TRACE(i);
        const double per_frame =
            (taken[i].time - taken[i - 1].time) / (taken[i].frame - taken[i - 1].frame);
        // The first retrieval after the write may still take a frame made before it, on the
        // old grid (a slow writer lets the sensor get ahead); every later one is on the new.
        if (i < 4)
            EXPECT_NEAR(per_frame, 10.0, 1e-6);
        else if (i == 4)
            EXPECT_TRUE(per_frame >= 10.0 - 1e-6 && per_frame <= 25.0 + 1e-6) << per_frame;
        else
            EXPECT_NEAR(per_frame, 25.0, 1e-6);
    }
}

TEST(SensorClock, AWaitingRetrievalReturnsWhenAnotherThreadStopsOrDestroys)
{
    // Half a frame a second: the next frame is two seconds away.
    const std::pair<const char *, const char *> cases[] = {
        {"stop", "stop 0 retrieval 6 after less than a second\n"},
        {"destroy", "destroy 0 retrieval 3 after less than a second\n"},
    };
    for (const auto &[how, out] : cases) {
        SCOPED_TRACE(how);
        Result result = paced({"interrupt", how, "1"}, "0.5");
        EXPECT_EQ(result.out, out);
        EXPECT_EQ(result.err, "");
        std::vector<std::string> retrievals = calls_of(result.calls, "fc2RetrieveBuffer");
        ASSERT_EQ(retrievals.size(), 2u);
        EXPECT_EQ(retrievals[1],
                  std::string("fc2RetrieveBuffer -> ") + (how[0] == 's' ? "6" : "3"));
    }
    // A retrieval made to fail slowly (a timeout of three seconds) ends with the stream too.
    for (const char *how : {"stop", "destroy"}) {
        SCOPED_TRACE(std::string(how) + " during an injected delay");
        Launch run = client({"interrupt", how, "1"});
        run.knobs["CAMSIM_FPS"] = "0.5";
        run.knobs["CAMSIM_FAIL"] = "fc2RetrieveBuffer@2=-13/3000";
        Result result = harness::run(run);
        EXPECT_EQ(result.out, std::string(how) + " 0 retrieval -13 after less than a second\n");
        EXPECT_EQ(result.err, "");
    }
}

struct SlowFault {
    const char *program;
    const char *fail;
    const char *out;
    int delay_ms;
};

TEST(Faults, AFailureWithADelayReturnsOnlyAfterIt)
{
    const SlowFault cases[] = {
        {"captura_simple", "fc2RetrieveBuffer@3=-13/300", "Error in retrieveBuffer: -13\n", 300},
        {"consulta_exposicion", "fc2GetProperty=-4/200", "Error in fc2GetProperty: -4\n", 200},
        {"consulta_exposicion", "fc2Connect@1+=-5/250", "Error in fc2Connect: -5\n", 250},
    };
    for (const SlowFault &c : cases) {
        SCOPED_TRACE(c.fail);
        const auto start = std::chrono::steady_clock::now();
        Result result = harness::run(with_faults(c.program, c.fail));
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, "");
        EXPECT_GE(elapsed, std::chrono::milliseconds(c.delay_ms));
    }
}

TEST(Faults, AFailedRetrievalLosesTheFrameItWouldHaveReturned)
{
    Result result = harness::run(with_faults("captura_simple", "fc2RetrieveBuffer@4=-9"));
    EXPECT_EQ(result.out, "Error in retrieveBuffer: -9\n");
    std::vector<Taken> taken = frames_taken(result);
    ASSERT_EQ(taken.size(), 10u);
    for (long i = 0; i < 10; ++i) {
        EXPECT_EQ(taken[i].frame, i);
        EXPECT_EQ(taken[i].code, i == 3 ? "-9" : "0");
    }
    // So 0004.bmp shows frame 4, as a clean run's 0004.bmp does.
    Result clean = harness::run(with_faults("captura_simple"));
    EXPECT_EQ(result.files["0004.bmp"], clean.files["0004.bmp"]);
    EXPECT_NE(result.files["0004.bmp"], clean.files["0003.bmp"]);
}

// A state file with the shutter at 20 ms in manual mode, as the simulator writes it.
std::string state_with_shutter_20()
{
    Camera camera;
    Launch write;
    write.program = "ajuste_exposicion";
    write.input = "20\n";
    EXPECT_EQ(camera.run(write).status, 0);
    return read_file(camera.state_path());
}

const std::string factory_read = "Lectura de Shutter Speed = 10.0ms\n";
const std::string gain_prompt = "ingrese la ganancia[0-12.4dB]: ";

// Reads the exposure, then writes the gain, with what `plant` put at the state's place;
// `refusal` is the one line both processes must say on standard error, the reader
// reading factory settings and the writer failing with code 1 (or, when empty, the state
// taken as usual).
struct Planted {
    const char *what;
    std::function<void(const std::string &directory)> plant; // in a directory of its own
    std::map<std::string, std::string> knobs;                // "@" stands for that directory
    std::string refusal;                                     // "@" likewise
    bool reader_refused = true; // readers take no lock: a bad lock file is the writers' alone
};

std::string at(std::string text, const std::string &directory)
{
    for (size_t p; (p = text.find('@')) != std::string::npos;)
        text.replace(p, 1, directory);
    return text;
}

void expect_refused(Camera &camera, const Planted &c, const std::string &directory)
{
    SCOPED_TRACE(c.what);
    c.plant(directory);
    Launch read, write;
    read.program = "consulta_exposicion";
    write.program = "ganancia";
    write.input = "5\n";
    for (const auto &[name, value] : c.knobs)
        read.knobs[name] = write.knobs[name] = at(value, directory);
    const std::string line =
        c.refusal.empty() ? "" : "camsim: refusing state file " + at(c.refusal, directory) + "\n";
    Result reader = camera.run(read);
    EXPECT_EQ(reader.status, 0); // no hang: a hung program is killed and has no status
    EXPECT_EQ(reader.err, c.reader_refused ? line : "");
    Result writer = camera.run(write);
    EXPECT_EQ(writer.status, 0);
    EXPECT_EQ(writer.err, line);
    EXPECT_EQ(writer.out,
              gain_prompt + (c.refusal.empty() ? "Nuevo valor de ganancia es  = 5.000000dB\n"
                                               : "Error in fc2SetProperty: 1\n"));
    EXPECT_EQ(reader.out, c.reader_refused && !c.refusal.empty()
                              ? factory_read
                              : "Lectura de Shutter Speed = 20.0ms\n");
}

TEST(Simulator, AStateFileThatIsNotTheUsersOwnIsRefusedNeverFollowedOrWaitedOn)
{
    const std::string shutter_20 = state_with_shutter_20();
    auto state_file = [&shutter_20](const std::string &path, mode_t mode) {
        write_file(path, shutter_20);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
    };
    auto directory = [&](const std::string &path, mode_t mode) {
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        state_file(path + "/camsim.state", 0600);
    };
    const Planted cases[] = {
        {"a FIFO at the state path",
         [](const std::string &d) { mkfifo((d + "/s").c_str(), 0600); },
         {{"CAMSIM_STATE", "@/s"}},
         "'@/s': not a regular file"},
        {"a FIFO at the lock path",
         [&](const std::string &d) {
             state_file(d + "/s", 0600);
             mkfifo((d + "/s.lock").c_str(), 0600);
         },
         {{"CAMSIM_STATE", "@/s"}},
         "'@/s': lock file '@/s.lock': not a regular file",
         false},
        {"a link at the state path to a good state file",
         [&](const std::string &d) {
             state_file(d + "/good", 0600);
             ASSERT_EQ(symlink((d + "/good").c_str(), (d + "/s").c_str()), 0);
         },
         {{"CAMSIM_STATE", "@/s"}},
         "'@/s': a symbolic link"},
        {"a directory at the state path",
         [](const std::string &d) { ASSERT_EQ(mkdir((d + "/s").c_str(), 0700), 0); },
         {{"CAMSIM_STATE", "@/s"}},
         "'@/s': not a regular file"},
        {"a state file others may write",
         [&](const std::string &d) { state_file(d + "/s", 0666); },
         {{"CAMSIM_STATE", "@/s"}},
         "'@/s': writable by other users"},
        {"a state file its group may write",
         [&](const std::string &d) { state_file(d + "/s", 0620); },
         {{"CAMSIM_STATE", "@/s"}},
         "'@/s': writable by other users"},
        {"a lock file others may read (and so hold)",
         [&](const std::string &d) {
             state_file(d + "/s", 0600);
             state_file(d + "/s.lock", 0644);
         },
         {{"CAMSIM_STATE", "@/s"}},
         "'@/s': lock file '@/s.lock': readable by other users",
         false},
        {"a runtime directory others may write",
         [&](const std::string &d) { directory(d + "/r", 0777); },
         {{"CAMSIM_STATE", ""}, {"XDG_RUNTIME_DIR", "@/r"}},
         "'@/r/camsim.state': directory '@/r' is writable by other users"},
        {"a link as the runtime directory",
         [&](const std::string &d) {
             directory(d + "/real", 0700);
             ASSERT_EQ(symlink((d + "/real").c_str(), (d + "/r").c_str()), 0);
         },
         {{"CAMSIM_STATE", ""}, {"XDG_RUNTIME_DIR", "@/r"}},
         "'@/r/camsim.state': directory '@/r' is not a directory"},
        {"a missing runtime directory",
         [](const std::string &) {},
         {{"CAMSIM_STATE", ""}, {"XDG_RUNTIME_DIR", "@/r"}},
         "'@/r/camsim.state': directory '@/r': No such file or directory"},
        {"a private runtime directory is used",
         [&](const std::string &d) { directory(d + "/r", 0700); },
         {{"CAMSIM_STATE", ""}, {"XDG_RUNTIME_DIR", "@/r"}},
         "",
         false},
        {"a good state file is used",
         [&](const std::string &d) { state_file(d + "/s", 0600); },
         {{"CAMSIM_STATE", "@/s"}},
         "",
         false},
    };
    Camera camera;
    int number = 0;
    for (const Planted &c : cases) {
        const std::string place = camera.directory() + "/place" + std::to_string(++number);
        ASSERT_EQ(mkdir(place.c_str(), 0700), 0);
        expect_refused(camera, c, place);
    }
}

// Runs the launches as a user other than the owner of the files the test made (uid and
// gid 65534), in a child process; returns their results, or none where that is impossible.
std::vector<Result> run_as_another_user(const std::vector<Launch> &launches, std::string &why)
{
    int channel[2];
    if (pipe(channel) != 0) {
        why = "no pipe";
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::string report;
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0) {
            report = "cannot become uid 65534 (the tests run unprivileged)";
        } else {
            try {
                Camera camera;
                for (const Launch &launch : launches)
                    if (access(program_path(launch.program).c_str(), X_OK) != 0)
                        throw std::runtime_error("cannot run " + program_path(launch.program));
                for (const Launch &launch : launches) {
                    Result r = camera.run(launch);
                    report += std::to_string(r.status) + "\n" + std::to_string(r.out.size()) +
                              "\n" + r.out + std::to_string(r.err.size()) + "\n" + r.err;
                }
            } catch (const std::exception &error) {
                report = std::string("as uid 65534: ") + error.what();
            }
        }
        write_all_to(channel[1], report);
        _exit(0);
    }
    close(channel[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<size_t>(n));
    close(channel[0]);
    waitpid(child, nullptr, 0);
    std::vector<Result> results;
    std::istringstream in(report);
    for (size_t i = 0; i < launches.size(); ++i) {
        Result r;
        size_t size = 0;
        if (!(in >> r.status >> size) || in.get() != '\n') {
            why = report;
            return {};
        }
        r.out.resize(size);
        in.read(r.out.data(), static_cast<std::streamsize>(size));
        in >> size;
        in.get();
        r.err.resize(size);
        in.read(r.err.data(), static_cast<std::streamsize>(size));
        results.push_back(r);
    }
    return results;
}

// Copies of the launches' programs and of the simulated camera in `directory`, which the
// other user can reach wherever the build tree is (in root's 0700 home, for one).
void copy_kit(const std::string &directory, std::vector<Launch> &launches)
{
    ASSERT_EQ(mkdir((directory + "/kit").c_str(), 0755), 0);
    for (const char *library : {"/libflycapture-c.so.2", "/libflycapture.so.2"})
        write_file(directory + "/kit" + library,
                   read_file(CAMKIT_SIM_LIB_DIR + std::string(library)));
    for (Launch &launch : launches) {
        const std::string copy = directory + "/kit/" + launch.program;
        write_file(copy, read_file(program_path(launch.program)));
        ASSERT_EQ(chmod(copy.c_str(), 0755), 0);
        launch.program = copy;
        launch.knobs["LD_LIBRARY_PATH"] = directory + "/kit";
    }
}

TEST(Simulator, AStateFileOrDirectoryOfAnotherUserIsRefused)
{
    // Made by this user, and readable by the other one.
    const std::string shared = temporary_directory("camkit-foreign");
    const std::string state = shared + "/camera.state", runtime = shared + "/runtime";
    ASSERT_EQ(chmod(shared.c_str(), 0755), 0);
    write_file(state, state_with_shutter_20());
    ASSERT_EQ(chmod(state.c_str(), 0644), 0);
    ASSERT_EQ(mkdir(runtime.c_str(), 0755), 0);
    write_file(runtime + "/camsim.state", read_file(state));
    // A third user's dangling link at the stream lock, in a directory all may write (so
    // opening it gives EACCES, not ELOOP).
    const std::string sticky = shared + "/sticky", lock = sticky + "/s.stream0";
    ASSERT_TRUE(mkdir(sticky.c_str(), 0700) == 0 && chmod(sticky.c_str(), 01777) == 0 &&
                symlink("nowhere", lock.c_str()) == 0);
    if (lchown(lock.c_str(), 65533, 65533) != 0) {
        remove_tree(shared);
        GTEST_SKIP() << "not run as another user: the tests run unprivileged";
    }

    std::vector<Launch> launches(5);
    launches[0].program = launches[2].program = "consulta_exposicion";
    launches[1].program = launches[3].program = "ganancia";
    launches[1].input = launches[3].input = "5\n";
    for (int i : {0, 1})
        launches[i].knobs["CAMSIM_STATE"] = state;
    for (int i : {2, 3}) {
        launches[i].knobs["CAMSIM_STATE"] = "";
        launches[i].knobs["XDG_RUNTIME_DIR"] = runtime;
    }
    launches[4].program = "captura_simple";
    launches[4].knobs["CAMSIM_STATE"] = sticky + "/s";
    copy_kit(shared, launches);
    std::string why;
    const std::vector<Result> results = run_as_another_user(launches, why);
    remove_tree(shared);
    if (results.empty())
        GTEST_SKIP() << "not run as another user: " << why;
    const std::string refusals[] = {
        "camsim: refusing state file '" + state + "': not owned by this user\n",
        "camsim: refusing state file '" + runtime + "/camsim.state': directory '" + runtime +
            "' is not owned by this user\n",
        "camsim: refusing stream lock file '" + lock + "': a symbolic link\n"};
    for (size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[i].status, 0);
        EXPECT_EQ(results[i].err, refusals[i / 2]);
        EXPECT_EQ(results[i].out, i == 4       ? "" // the series taken, its stream unowned
                                  : i % 2 == 0 ? factory_read
                                               : gain_prompt + "Error in fc2SetProperty: 1\n");
    }
}

TEST(Simulator, AWriterWaitsWhileAnotherProcessHoldsTheStateLock)
{
    Camera camera;
    const std::string lock_path = camera.state_path() + ".lock";
    const int lock = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> finished{false};
    Clock::time_point finished_at;
    Result writer;
    std::thread writing([&] {
        Launch write;
        write.program = "ganancia";
        write.input = "5\n";
        writer = camera.run(write);
        finished_at = Clock::now();
        finished = true;
    });
    // Long enough for the writer to reach the lock many times over.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(finished.load()) << "the writer did not wait for the lock";
    EXPECT_NE(access(camera.state_path().c_str(), F_OK), 0) << "written while locked";
    const Clock::time_point released_at = Clock::now();
    ASSERT_EQ(flock(lock, LOCK_UN), 0);
    close(lock);
    writing.join();
    EXPECT_GE(finished_at, released_at);
    EXPECT_EQ(writer.out, gain_prompt + "Nuevo valor de ganancia es  = 5.000000dB\n");
    Launch read;
    read.program = "consulta_amplificacion";
    EXPECT_EQ(camera.run(read).out, "Lectura de Ganancia = 5.000000dB\n");
}

// Names the camera's directory may hold besides the working directories and call logs.
bool expected_camera_entry(const std::string &name)
{
    return name == "camera.state" || name == "camera.state.lock" ||
           name == "camera.state.stream0" || name.compare(0, 4, "work") == 0 ||
           name.compare(0, 5, "calls") == 0;
}

// Whether name is the hidden name a file of one of `bases` has on its way to its place:
// .<base>.camsim-new.<process>.<save>.
bool is_incoming(const std::string &name, const std::set<std::string> &bases)
{
    std::smatch base;
    return std::regex_match(name, base, std::regex(R"(\.(.+)\.camsim-new\.[0-9]+\.[0-9]+)")) &&
           bases.count(base[1].str()) == 1;
}

TEST(Simulator, ProcessesKilledAtRandomMomentsLeaveTheOldFileOrTheNewAndNothingElse)
{
    // CAMKIT_KILL_RUNS sets the number of runs (a few dozen by default), CAMKIT_KILL_SEED the
    // moments the signals are sent at (the same every time by default).
    const char *runs_knob = std::getenv("CAMKIT_KILL_RUNS");
    const int runs = runs_knob != nullptr ? std::atoi(runs_knob) : 36;
    const char *seed_knob = std::getenv("CAMKIT_KILL_SEED");
    const unsigned seed = seed_knob != nullptr ? std::strtoul(seed_knob, nullptr, 10) : 15;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const int signals[] = {SIGINT, SIGTERM, SIGKILL};

    Camera camera;
    // The series each run replaces, of another size than the new frames; and how long
    // whole runs take, so that the signals land anywhere in them.
    Launch first;
    first.program = "captura_simple";
    first.knobs["CAMSIM_SENSOR"] = "320x240";
    const Result previous = camera.run(first);
    ASSERT_EQ(previous.entries, frame_names());
    auto duration_us = [&camera](const Launch &launch) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(camera.run(launch).status, 0);
        return std::max<long>(1000, std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now() - start)
                                        .count());
    };
    Launch capture_run;
    capture_run.program = "captura_simple";
    capture_run.knobs["CAMSIM_SENSOR"] = "640x480";
    capture_run.files = previous.files;
    Launch setter_run;
    setter_run.program = "ganancia";
    setter_run.input = "0\n";
    const long capture_us = std::min(duration_us(capture_run), duration_us(capture_run));
    const long setter_us = std::min(duration_us(setter_run), duration_us(setter_run));
    const std::string gains[] = {"Lectura de Ganancia = 0.000000dB\n",
                                 "Lectura de Ganancia = 3.000000dB\n",
                                 "Lectura de Ganancia = 6.000000dB\n"};

    int killed = 0, finished = 0, new_frames = 0, old_frames = 0, extra = 0, hidden_left = 0;
    for (int i = 0; i < runs; ++i) {
        const bool capture = i % 2 == 0;
        Launch run = capture ? capture_run : setter_run;
        run.signal = signals[(i / 2) % 3];
        run.signal_after = std::chrono::microseconds(random() % (capture ? capture_us : setter_us));
        if (!capture)
            run.input = i % 4 == 1 ? "3\n" : "6\n";
        SCOPED_TRACE(run.program + " run " + std::to_string(i) + ", signal " +
                     std::to_string(run.signal) + " after " +
                     std::to_string(run.signal_after.count()) + " us");
        Result result = camera.run(run);
        (result.signal != 0 ? killed : finished) += 1;
        // Only a SIGKILL between linking a new frame beside the old one and exchanging their
        // names may leave the hidden incoming name; the next save in that directory removes
        // it, as a clean run over the same files shows.
        std::map<std::string, std::string> hidden;
        for (const std::string &name : result.entries)
            if (capture && run.signal == SIGKILL && is_incoming(name, frame_names()))
                hidden[name] = result.files[name];
            else if (capture ? frame_names().count(name) == 0 : true)
                ++extra;
        if (!hidden.empty()) {
            ++hidden_left;
            Launch again = capture_run;
            for (const auto &[name, bytes] : hidden)
                again.files[name] = bytes;
            EXPECT_EQ(camera.run(again).entries, frame_names());
            for (const auto &[name, bytes] : hidden) {
                result.entries.erase(name);
                result.files.erase(name);
            }
        }
        if (capture) {
            EXPECT_EQ(result.entries, frame_names()); // every old frame, replaced or not
            for (const auto &[name, bytes] : result.files) {
                SCOPED_TRACE(name);
                const Grey frame = decode_bmp(bytes);
                EXPECT_EQ(frame.error, "");
                (frame.width == 640 ? new_frames : old_frames) += 1;
            }
        } else {
            EXPECT_EQ(result.entries, std::set<std::string>{});
        }
        // The same holds for the state file beside the camera's, which a capture writes too
        // when it stops (the values auto exposure chose): a setter's next write removes what
        // a SIGKILL left.
        bool state_hidden = false;
        for (const std::string &name : directory_entries(camera.directory()))
            if (run.signal == SIGKILL && is_incoming(name, {"camera.state"}))
                state_hidden = true;
            else
                EXPECT_TRUE(expected_camera_entry(name)) << name;
        if (state_hidden) {
            ++hidden_left;
            Launch again = setter_run;
            EXPECT_EQ(camera.run(again).status, 0);
            for (const std::string &name : directory_entries(camera.directory()))
                EXPECT_TRUE(expected_camera_entry(name)) << name;
        }
        // The state is the old one or the new one, never damaged or missing once written.
        Launch read;
        read.program = "consulta_amplificacion";
        const Result gain = camera.run(read);
        EXPECT_EQ(gain.err, "");
        EXPECT_TRUE(gain.out == gains[0] || gain.out == gains[1] || gain.out == gains[2])
            << gain.out;
    }
    EXPECT_EQ(extra, 0);
    std::printf("%d runs: %d killed, %d finished; frames left: %d new, %d old; extra files: %d; "
                "runs that left a hidden incoming file, removed by the next save: %d\n",
                runs, killed, finished, new_frames, old_frames, extra, hidden_left);
    RecordProperty("killed", killed);
    RecordProperty("extra_files", extra);
    RecordProperty("hidden_left", hidden_left);
}

TEST(Harness, AProgramThatReadsNoInputAndWritesMuchDoesNotHangIt)
{
    // More than a pipe holds each way: a harness that blocked on writing the input would
    // wait for a program that waits for it to read the output.
    Launch run;
    run.program = "/bin/sh";
    run.args = {"-c", "head -c 300000 /dev/zero; echo done >&2"};
    run.input = std::string(1 << 20, 'x');
    Result result = harness::run(run);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, std::string(300000, '\0'));
    EXPECT_EQ(result.err, "done\n");
    EXPECT_GT(result.max_rss_kb, 0);
}

TEST(Harness, MeasuresThePeakMemoryOfTheProgramAloneNotWhatItInheritedFromTheHarness)
{
    if (!peak_memory_measured())
        GTEST_SKIP() << "the program's own peak memory is not measured in this build";
    // 64 MB in use here when the harness forks: none of it is the program's.
    std::vector<char> ballast(64 << 20, 1);
    Launch run;
    run.program = "consulta_exposicion";
    Result result = harness::run(run);
    EXPECT_EQ(result.out, "Lectura de Shutter Speed = 10.0ms\n");
    EXPECT_GT(result.max_rss_kb, 512);
    EXPECT_LT(result.max_rss_kb, 32 * 1024) << "ballast " << static_cast<int>(ballast.back());
}

} // namespace
