// vorpel-provision: writes the terminal's stored settings as an installer
// would, the only way the numeric server address gets into them, and shows
// what a store holds.
//
// Exit status: 0 done; 1 the store could not be written (or --show found no
// valid settings); 2 a bad command line, with nothing written.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_file_store.h"
#include "provision_options.h"
#include "provision_record.h"
#include "settings/settings_record.h"

namespace {

constexpr const char* USAGE =
    "usage: vorpel-provision [--app NAME] --server TEXT [--numeric A.B.C.D] --account TEXT\n"
    "                        --auth TEXT --password TEXT [--keep-awake] [--show]\n"
    "       vorpel-provision [--app NAME] --show\n"
    "Writes the account of terminal NAME (default vorpel) into its settings store, keeping\n"
    "the tag texts and saved account slots already there. A running terminal rewrites the\n"
    "store when it ends, so provision it while it is not running.\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    std::string error;
    const auto options = vorpel::parseProvisionOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "vorpel-provision: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    vorpel::SettingsFileStore store(options->app);
    vorpel::SettingsRecord record;
    const bool valid = vorpel::decodeNibbleText(store.read(), record);
    if (!valid) record.clear();
    if (options->write) {
        vorpel::provisionRecord(*options, record);
        if (!store.write(vorpel::encodeNibbleText(record))) {
            std::fprintf(stderr, "vorpel-provision: cannot write %s\n", store.path().c_str());
            return 1;
        }
    }
    if (options->show) {
        if (!valid && !options->write) {
            std::printf("store: %s\nno valid settings stored\n", store.path().c_str());
            return 1;
        }
        std::printf("store: %s\n%s", store.path().c_str(), vorpel::describeRecord(record).c_str());
    }
    return 0;
}
