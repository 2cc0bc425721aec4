// Arbitrary uevent texts: parsed directly (so that any read past the text is
// caught), and as a battery's uevent file read through the whole status call
// and the whole power picture.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ambrel.h"
#include "answer_check.h"
#include "platform_linux.h"

namespace {

std::string make_tree()
{
    char pattern[] = "/tmp/ambrel-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    std::string root = pattern;
    mkdir((root + "/BAT0").c_str(), 0755);
    linux_platform_set_root(root.c_str());
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::string root = make_tree();

    uevent_fields fields;
    parse_uevent(reinterpret_cast<const char *>(data), size, &fields);
    power_status_record power;
    battery_information_record info;
    battery_status_record status;
    is_system_battery(fields);
    power_status_from_uevent(fields, &power);
    information_from_uevent(fields, &info);
    status_from_uevent(fields, &status);
    if (power.battery_life_percent > 100 && power.battery_life_percent != 255) std::abort();

    std::string path = root + "/BAT0/uevent";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    close(fd);
    const char *text = ambrel_status();
    check_answer(text, ambrel_last_error(), false);
    check_power_answer(ambrel_power());
    return 0;
}
