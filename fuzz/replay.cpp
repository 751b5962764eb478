// Runs inputs through a fuzz target's entry point without libFuzzer, so the
// ordinary build and its sanitizer build replay every input that once made a
// target crash, leak, hang or disagree with its reference. Arguments are files
// or folders; a folder gives every file in it, and a missing folder nothing,
// since a target has a folder only once something was found.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Printed first, so a crash or a hang names the input that caused it.
    std::fprintf(stderr, "replaying %s (%zu bytes)\n", file.string().c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path argument(argv[i]);
        if (!std::filesystem::exists(argument)) {
            std::fprintf(stderr, "no inputs at %s\n", argument.string().c_str());
            continue;
        }
        if (!std::filesystem::is_directory(argument)) {
            ok = replay(argument) && ok;
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(argument))
            if (entry.is_regular_file())
                ok = replay(entry.path()) && ok;
    }
    return ok ? 0 : 1;
}
