// camsim: the launcher that runs one of the seven programs on the simulated camera.
#include "harness.h"

#include <gtest/gtest.h>

using namespace harness;

namespace
{

struct LauncherCase {
    const char *name;
    std::vector<std::string> args;
    int status;
    std::string out_starts; // the start of standard output
    std::string err_starts; // the start of standard error
    bool camera_used;       // whether a program ran and called the SDK
    std::set<std::string> entries;
};

TEST(Camsim, SaysHowToUseItRefusesOtherProgramsAndRunsTheSeven)
{
    const std::string usage = "Uso: camsim PROGRAMA [ARGUMENTOS...]\n";
    const std::string refused = "camsim: 'ls' no es un programa de camkit / is not a camkit "
                                "program: captura_simple captura_manual captura_config "
                                "ajuste_exposicion ganancia consulta_exposicion "
                                "consulta_amplificacion\n";
    const std::string reading = "Lectura de Shutter Speed = 10.0ms\n";
    const LauncherCase cases[] = {
        {"alone", {}, 2, "", usage, false, {}},
        {"--help", {"--help"}, 0, usage, "", false, {}},
        {"-h", {"-h"}, 0, usage, "", false, {}},
        {"--version", {"--version"}, 0, "camsim (camkit) " CAMKIT_VERSION "\n", "", false, {}},
        {"a command that is not one of the seven", {"ls", "-l"}, 2, "", refused, false, {}},
        {"a program named by path", {"/bin/ls"}, 2, "", "camsim: '/bin/ls' no es", false, {}},
        {"captura_simple", {"captura_simple"}, 0, "", "", true, frame_names()},
        {"consulta_exposicion", {"consulta_exposicion"}, 0, reading, "", true, {}},
    };
    for (const LauncherCase &c : cases) {
        SCOPED_TRACE(c.name);
        Launch launch;
        launch.program = "camsim";
        launch.args = c.args;
        Result result = run(launch);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out.substr(0, c.out_starts.size()), c.out_starts);
        EXPECT_EQ(result.err.substr(0, c.err_starts.size()), c.err_starts);
        if (usage == c.out_starts + c.err_starts) { // a usage fits 80 columns
            EXPECT_EQ(lines_over_80_columns(result.out + result.err), "");
        }
        if (c.err_starts.empty()) {
            EXPECT_EQ(result.err, "");
        }
        EXPECT_EQ(result.entries, c.entries);
        EXPECT_EQ(!result.calls.empty(), c.camera_used);
    }
}

TEST(Camsim, PassesTheArgumentsOnAndTheProgramsInputToo)
{
    Camera camera;
    Launch set;
    set.program = "camsim";
    set.args = {"ganancia", "ignored"};
    set.input = "6\n";
    Result result = camera.run(set);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.substr(0, 31), "ingrese la ganancia[0-12.4dB]: ");
    Launch read;
    read.program = "camsim";
    read.args = {"consulta_amplificacion"};
    EXPECT_EQ(camera.run(read).out, "Lectura de Ganancia = 6.000000dB\n");
}

} // namespace
