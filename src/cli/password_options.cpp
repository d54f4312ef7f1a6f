#include "password_options.h"

#include <algorithm>

namespace ostrand::cli {

bool takePasswordOptions(Args& args, PasswordOptions& o) {
    o.blankDevice = args.flag("--blank-device");
    o.haveDevice = args.take("--device-password", o.device);
    o.haveAddresses = args.take("--password-addresses", o.addresses);
    o.haveObject = args.take("--object-password", o.object);
    if (args.error()) return false;
    if (o.blankDevice && o.haveDevice)
        args.fail("--blank-device and --device-password exclude each other");
    else if (o.haveAddresses && (!o.haveDevice || o.device == "log"))
        args.fail("--password-addresses belongs to --device-password HEX");
    else if (o.haveAddresses && std::count(o.addresses.begin(), o.addresses.end(), ',') != 1)
        args.fail("--password-addresses takes NUM,CMP");
    return !args.error();
}

}  // namespace ostrand::cli
