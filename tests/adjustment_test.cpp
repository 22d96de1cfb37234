// The adjustment tools: ajuste_exposicion and ganancia write a typed value in manual,
// absolute mode; consulta_exposicion and consulta_amplificacion print the camera's.
#include "harness.h"

#include <gtest/gtest.h>

using namespace harness;

namespace
{

const std::string exposure_prompt = "ingrese el tiempo [0.1-33.1ms]: ";
const std::string gain_prompt = "ingrese la ganancia[0-12.4dB]: ";
const std::string out_of_range = "Ingrese valores detro del rango [0.1-33.1ms]\n";
const std::string invalid_gain = "Valor de ganancia no válido\n";

Launch answer(const std::string &program, const std::string &input, const std::string &prompt)
{
    Launch run;
    run.program = program;
    run.input = input;
    run.await_prompt = prompt;
    return run;
}

// The record written must be the one read, with only the manual, absolute-mode members
// and the value changed; both reads, before the write and the read-back after it, are
// handed a cleared record. The camera starts with every written flag the other way.
void expect_written(const Result &result, const std::string &type, const std::string &value)
{
    std::vector<std::string> reads = calls_of(result.calls, "fc2GetProperty");
    std::vector<std::string> writes = calls_of(result.calls, "fc2SetProperty");
    ASSERT_EQ(reads.size(), 2u);
    ASSERT_EQ(writes.size(), 1u);
    std::map<std::string, std::string> expected = fields(reads[0]);
    for (const auto &[flag, reversed] :
         std::map<std::string, std::string>{{"auto_manual_mode", "1"},
                                            {"absolute_control", "0"},
                                            {"one_push", "1"},
                                            {"on_off", "0"}})
        EXPECT_EQ(expected[flag], reversed) << flag;
    expected["call"] = "fc2SetProperty";
    expected.erase("cleared");
    expected["auto_manual_mode"] = "0";
    expected["absolute_control"] = "1";
    expected["one_push"] = "0";
    expected["on_off"] = "1";
    expected["absolute_value"] = value;
    EXPECT_EQ(fields(writes[0]), expected);
    EXPECT_EQ(fields(writes[0])["type"], type);
    EXPECT_EQ(fields(reads[0])["cleared"], "1");
    EXPECT_EQ(fields(reads[1])["cleared"], "1");
    EXPECT_EQ(fields(reads[1])["type"], type);
    EXPECT_EQ(
        operations(result.calls),
        operations(connection_calls() +
                   std::vector<std::string>{"fc2GetProperty", "fc2SetProperty", "fc2GetProperty"}));
}

struct Typed {
    std::string input;
    std::string out;     // after the prompt
    const char *written; // absolute value in the SDK call, or nullptr for no write
};

// Each answer typed after the prompt gets its line; a value is written only where one is
// expected, and then as the record read with the value and manual, absolute mode.
template <size_t n>
void expect_answers(const char *program, const std::string &prompt, const std::string &type,
                    const Typed (&cases)[n])
{
    for (const Typed &typed : cases) {
        SCOPED_TRACE(std::string(program) + " input '" + typed.input + "'");
        Camera camera;
        reverse_written_flags(camera);
        Result result = camera.run(answer(program, typed.input, prompt));
        EXPECT_TRUE(result.prompt_seen) << "the prompt must be out before the answer is read";
        EXPECT_EQ(result.out, prompt + typed.out);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        if (typed.written != nullptr)
            expect_written(result, type, typed.written);
        else
            EXPECT_EQ(calls_of(result.calls, "fc2SetProperty"), std::vector<std::string>{});
    }
}

// Answers of 100 characters: read whole, as a number of any length is.
const std::string zeros_then_twelve = std::string(98, '0') + "12";
const std::string tiny_times_huge = "0." + std::string(94, '0') + "1e96";
const std::string long_pi = "3.14159265358979323846264338327950288419716939937510582097494459230"
                            "781640628620899862803482534211706";

TEST(AjusteExposicion, WritesValuesInRangeAndRefusesTheRest)
{
    const Typed cases[] = {
        {"10\n", "Tiempo de Exposición = 10.0ms\n", "10"},
        {"0.1\n", "Tiempo de Exposición = 0.1ms\n", "0.100000001"},
        {"33.1\n", "Tiempo de Exposición = 33.1ms\n", "33.0999985"},
        // Written as typed; the camera holds whole 10 µs lines, 12.35 ms, and says so.
        {"12.345\n", "Tiempo de Exposición = 12.4ms\n", "12.3450003"},
        {"  \n\n 20.5 ms\n", "Tiempo de Exposición = 20.5ms\n", "20.5"},
        {"0x10\n", "Tiempo de Exposición = 16.0ms\n", "16"},
        {zeros_then_twelve + "\n", "Tiempo de Exposición = 12.0ms\n", "12"},
        {tiny_times_huge + "\n", "Tiempo de Exposición = 10.0ms\n", "10"},
        {long_pi + "\n", "Tiempo de Exposición = 3.1ms\n", "3.14159274"},
        {"0x" + std::string(98, '0') + "\n", out_of_range, nullptr},
        {"0.05\n", out_of_range, nullptr},
        {"33.2\n", out_of_range, nullptr},
        {"40\n", out_of_range, nullptr},
        {"-1\n", out_of_range, nullptr},
        {"inf\n", out_of_range, nullptr},
        {"-inf\n", out_of_range, nullptr},
        {"nan\n", out_of_range, nullptr},
        {"NAN\n", out_of_range, nullptr},
        {"diez\n", out_of_range, nullptr},
        {"5e\n", out_of_range, nullptr},
        {"", out_of_range, nullptr},
        {"\n\n", out_of_range, nullptr},
    };
    expect_answers("ajuste_exposicion", exposure_prompt, "12", cases);
}

TEST(Ganancia, WritesEveryFiniteValueAsTyped)
{
    const Typed cases[] = {
        {"6\n", "Nuevo valor de ganancia es  = 6.000000dB\n", "6"},
        {"20\n", "Nuevo valor de ganancia es  = 20.000000dB\n", "20"},
        // The camera clamps to its range, 0 to 24 dB, and the confirmation says so.
        {"-3\n", "Nuevo valor de ganancia es  = 0.000000dB\n", "-3"},
        {"30\n", "Nuevo valor de ganancia es  = 24.000000dB\n", "30"},
        {zeros_then_twelve + "\n", "Nuevo valor de ganancia es  = 12.000000dB\n", "12"},
        {std::string(99, '0') + "x", "Nuevo valor de ganancia es  = 0.000000dB\n", "0"},
        {"1" + std::string(99, '0') + "\n", invalid_gain, nullptr}, // beyond a float
        {"7.25dB\n", "Nuevo valor de ganancia es  = 7.250000dB\n", "7.25"},
        {"nan\n", invalid_gain, nullptr},
        {"inf\n", invalid_gain, nullptr},
        {"-inf\n", invalid_gain, nullptr},
        {"1e39\n", invalid_gain, nullptr}, // beyond a float
        {"seis\n", invalid_gain, nullptr},
        {"6e+\n", invalid_gain, nullptr},
        {"2e-1\n", "Nuevo valor de ganancia es  = 0.200000dB\n", "0.200000003"},
        {"0.05\n", "Nuevo valor de ganancia es  = 0.050000dB\n", "0.0500000007"},
        {"1.5E1\n", "Nuevo valor de ganancia es  = 15.000000dB\n", "15"},
        {"0X10\n", "Nuevo valor de ganancia es  = 16.000000dB\n", "16"},
        {"0x.8p3\n", "Nuevo valor de ganancia es  = 4.000000dB\n", "4"},
        {"." + std::string(97, '0') + "5e98\n", "Nuevo valor de ganancia es  = 5.000000dB\n", "5"},
        {"x6\n", invalid_gain, nullptr},
        // A hexadecimal prefix without digits is no number, as "%f" reads it.
        {"0x\n", invalid_gain, nullptr},
        {"0xg\n", invalid_gain, nullptr},
        {"0xp1\n", invalid_gain, nullptr},
        {"-0xg\n", invalid_gain, nullptr},
        {"+0x\n", invalid_gain, nullptr},
        {"", invalid_gain, nullptr},
    };
    expect_answers("ganancia", gain_prompt, "13", cases);
}

struct Refusal {
    const char *program;
    const char *input;
    const char *fail;
    std::string out;
    size_t writes;
};

TEST(Adjustment, AFailedReadOrWriteIsReportedAndNothingIsConfirmed)
{
    const Refusal cases[] = {
        {"ajuste_exposicion", "10\n", "fc2GetProperty=-20",
         exposure_prompt + "Error in fc2GetProperty: -20\n", 0},
        {"ajuste_exposicion", "10\n", "fc2SetProperty=-21",
         exposure_prompt + "Error in fc2SetProperty: -21\n", 1},
        {"ajuste_exposicion", "10\n", "fc2GetProperty@2=-22",
         exposure_prompt + "Error in fc2GetProperty: -22\n", 1},
        {"ganancia", "6\n", "fc2GetProperty=-20", gain_prompt + "Error in fc2GetProperty: -20\n",
         0},
        {"ganancia", "6\n", "fc2SetProperty=-21", gain_prompt + "Error in fc2SetProperty: -21\n",
         1},
        {"ganancia", "6\n", "fc2GetProperty@2=-22", gain_prompt + "Error in fc2GetProperty: -22\n",
         1},
        {"consulta_exposicion", "", "fc2GetProperty=-20", "Error in fc2GetProperty: -20\n", 0},
        {"consulta_amplificacion", "", "fc2GetProperty=-20", "Error in fc2GetProperty: -20\n", 0},
    };
    for (const Refusal &refusal : cases) {
        SCOPED_TRACE(std::string(refusal.program) + " with " + refusal.fail);
        Launch run;
        run.program = refusal.program;
        run.input = refusal.input;
        run.knobs["CAMSIM_FAIL"] = refusal.fail;
        Result result = harness::run(run);
        EXPECT_EQ(result.out, refusal.out);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(calls_of(result.calls, "fc2SetProperty").size(), refusal.writes);
    }
}

struct ReadBack {
    const char *setter;
    const char *input;
    const char *reader;
    const char *out;
};

TEST(Adjustment, AValueWrittenIsWhatALaterProcessReads)
{
    const ReadBack cases[] = {
        {nullptr, "", "consulta_exposicion", "Lectura de Shutter Speed = 10.0ms\n"},
        {nullptr, "", "consulta_amplificacion", "Lectura de Ganancia = 0.000000dB\n"},
        {"ajuste_exposicion", "8.3\n", "consulta_exposicion", "Lectura de Shutter Speed = 8.3ms\n"},
        {"ajuste_exposicion", "10\n", "consulta_exposicion", "Lectura de Shutter Speed = 10.0ms\n"},
        {"ajuste_exposicion", "33.1\n", "consulta_exposicion",
         "Lectura de Shutter Speed = 33.1ms\n"},
        // The shutter opens for whole lines of 10 microseconds: 12.345 becomes 12.35.
        {"ajuste_exposicion", "12.345\n", "consulta_exposicion",
         "Lectura de Shutter Speed = 12.4ms\n"},
        {"ganancia", "0\n", "consulta_amplificacion", "Lectura de Ganancia = 0.000000dB\n"},
        {"ganancia", "12.4\n", "consulta_amplificacion", "Lectura de Ganancia = 12.400000dB\n"},
        // The camera clamps a gain below its range to its lowest.
        {"ganancia", "-3\n", "consulta_amplificacion", "Lectura de Ganancia = 0.000000dB\n"},
    };
    for (const ReadBack &read_back : cases) {
        SCOPED_TRACE(std::string(read_back.setter ? read_back.setter : "factory") + " " +
                     read_back.input);
        Camera camera;
        if (read_back.setter != nullptr) {
            Launch set;
            set.program = read_back.setter;
            set.input = read_back.input;
            EXPECT_EQ(camera.run(set).status, 0);
        }
        const std::string state_before = read_file(camera.state_path());
        Launch read;
        read.program = read_back.reader;
        Result result = camera.run(read);
        EXPECT_EQ(result.out, read_back.out);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        // Reading changes nothing in the camera.
        EXPECT_EQ(calls_of(result.calls, "fc2SetProperty"), std::vector<std::string>{});
        EXPECT_EQ(read_file(camera.state_path()), state_before);
    }
}

TEST(Adjustment, ExposureAndGainAreIndependentSettings)
{
    Camera camera;
    camera.run(answer("ajuste_exposicion", "2.5\n", exposure_prompt));
    camera.run(answer("ganancia", "9.5\n", gain_prompt));
    Launch exposure, gain;
    exposure.program = "consulta_exposicion";
    gain.program = "consulta_amplificacion";
    EXPECT_EQ(camera.run(exposure).out, "Lectura de Shutter Speed = 2.5ms\n");
    EXPECT_EQ(camera.run(gain).out, "Lectura de Ganancia = 9.500000dB\n");
}

} // namespace
