// MD5 throughput and the cost of reading preferences, the two things the lock
// screen and the pane do on every key press and every control they fill.
#include "prefglue/PrefGlue.h"
#include "shared/InputField.h"
#include "shared/md5.h"

#include "platform/foundation/Defaults.h"
#include "platform/foundation/PreferencesDomain.h"
#include "platform/headless/HeadlessEnvironment.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const std::string kApp = "com.quillmere.Tarnwick";

void Md5Digest(benchmark::State& state) {
    const std::vector<md5_byte_t> bytes(static_cast<std::size_t>(state.range(0)), 0xa5);
    md5_byte_t digest[16];
    for (auto _ : state) {
        md5_state_t md5;
        md5_init(&md5);
        md5_append(&md5, bytes.data(), static_cast<std::int32_t>(bytes.size()));
        md5_finish(&md5, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Md5Digest)->Arg(0)->Arg(16)->Arg(64)->Arg(1024)->Arg(1 << 20);

void PasswordFieldDigest(benchmark::State& state) {
    InputField field;
    field.setStringValue("correct horse battery staple é");
    for (auto _ : state) benchmark::DoNotOptimize(field.md5String());
}
BENCHMARK(PasswordFieldDigest);

// A domain the size of the application's: some forty keys of every kind.
void fillDomain() {
    for (int i = 0; i < 10; ++i) {
        platform::preferences::setAppValue("flag" + std::to_string(i), platform::Value(i % 2 == 0), kApp);
        platform::preferences::setAppValue("number" + std::to_string(i), platform::Value(i * 1.5), kApp);
        platform::preferences::setAppValue("text" + std::to_string(i), platform::Value("value " + std::to_string(i)),
                                           kApp);
        platform::preferences::setAppValue("list" + std::to_string(i),
                                           platform::Value(platform::Array{platform::Value(i), platform::Value("x")}),
                                           kApp);
    }
    platform::preferences::appSynchronize(kApp);
}

// Moves the file's modification time into the past, as for settings stored
// long ago; a file changed within the last seconds is re-read on every read.
void ageDomainFile() {
    const std::string path = platform::PreferencesDomain::pathForIdentifier(kApp);
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void PreferencesReadSettledFile(benchmark::State& state) {
    platform::headless::HeadlessEnvironment env;
    fillDomain();
    ageDomainFile();
    for (auto _ : state) benchmark::DoNotOptimize(PreferencesIntegerValue("number3", 0, kApp));
}
BENCHMARK(PreferencesReadSettledFile);

void PreferencesReadJustWrittenFile(benchmark::State& state) {
    platform::headless::HeadlessEnvironment env;
    fillDomain();
    for (auto _ : state) benchmark::DoNotOptimize(PreferencesIntegerValue("number3", 0, kApp));
}
BENCHMARK(PreferencesReadJustWrittenFile);

void DefaultsBoolForKeySettledFile(benchmark::State& state) {
    platform::headless::HeadlessEnvironment env;
    fillDomain();
    ageDomainFile();
    platform::Defaults::standard().registerDefaults({{"fadingEnabled", platform::Value(true)}});
    for (auto _ : state) benchmark::DoNotOptimize(platform::Defaults::standard().boolForKey("fadingEnabled"));
}
BENCHMARK(DefaultsBoolForKeySettledFile);

}  // namespace

BENCHMARK_MAIN();
