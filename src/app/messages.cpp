#include "messages.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace ostrand {
namespace {

struct Entry {
    int32_t code;
    const char* text;
};

// Sorted by number; texts byte for byte, trailing blanks included.
constexpr Entry kCatalogue[] = {
    {10000, "Cannot communicate with the adapter."},
    {10001, "The communication port cannot be used."},
    {10002, "No response from the device; a timeout occurred."},
    {10003, "A framing error occurred in received data. "},
    {10004, "A parity error occurred in received data."},
    {10005, "An overrun error occurred in received data."},
    {10006, "A command error occurred. (%02XH was sent.)"},
    {10007, "A communication error occurred. "},
    {10008, "A SUM value error occurred. "},
    {10009, "A device error occurred. "},
    {10010, "An ECC error."},
    {10011, "A baud rate change error occurred. "},
    {10012, "The specified COM port cannot be found."},
    {10013, "The specified transfer rate is not supported."},
    {10014, "Device data transfer failed."},
    {10015, "Failed to transmit data to the adapter."},
    {10016, "An illegal data write was attempted."},
    {10017, "Cannot erase the WCP Program. "},
    {10018, "A password error occurred."},
    {10019, "A record type error occurred."},
    {10020, "A communication error occurred in received data. "},
    {10021, "This device is not blank."},
    {10022, "This device is protected."},
    {10023, "The object file more than 1KB can not be used."},
    {10024, "N,K Value error"},
    {10100, "The definition file does not exist."},
    {10101, "The definition file may be for another program or corrupted. "},
    {10102, "The definition file contains undefined or invalid or missing items."},
    {10103, "An error occurred while loading the definition file."},
    {10104, "The default setup file does not exist. "},
    {10105, "The default setup file may be for another program or corrupted. "},
    {10106, "The default setup file contains undefined or invalid or missing items."},
    {10107, "An error occurred while loading the default setup file."},
    {10108, "Cannot save the default setup file."},
    {10109, "User setting file not exist.(The specified setup file does not exist.)"},
    {10110, "The specified setup file may be for another program or corrupted. "},
    {10111, "The specified setup file contains undefined or invalid or missing items. "},
    {10112, "An error occurred while loading the specified setup file."},
    {10113, "Cannot save the specified setup file."},
    {10114, "The specified device does not exist in the definition file."},
    {10115, "Cannot get device information."},
    {10116, "The definition file contains illegal Section.\nMissing Series or Device name."},
    {10117, "Emulation Value is smaller than physical memory size."},
    {10118, " "},
    {10119, " "},
    {10120, "Password count storage address not conforming to device spec."},
    {10121, "Password comparison start address not conforming to device spec."},
    {10122, "The password is too long."},
    {10123, "The password is too short."},
    {10124, "The password entered is not of the required length."},
    {10125, "No Password count storage address is specified in the object file."},
    {10126, "No Password comparison start address is specified in the object file. "},
    {10127, "No password is specified in the object file."},
    {10128, "The password entered is not the password specified in the object file. "},
    {10129, "The password should be entered in HEX.\nUse letters 0-9 and A-F. "},
    {10130,
     "Password count storage address should be specified in HEX starting with 0x.\nUse letters 0-9 "
     "and A-F."},
    {10131, "No Password count storage address is specified."},
    {10132,
     "Password comparison start address should be specified in HEX starting with 0x.\nUse letters "
     "0-9 and A-F."},
    {10133, "No Password comparison start address is specified."},
    {10134, "The password contains a 3-byte or longer sequence of the same letter."},
    {10135, "No object file is specified."},
    {10136, "The number of password characters requests 4 bytes."},
    {10137, "The number of password characters requests 12 bytes."},
    {10138,
     "Could not find out the Password from Password Log file.\nPlease set the Device Password."},
    {10139, "Could not find out the Password Log file.\nPlease set the Device Password."},
    {10200, "The specified object file does not exist. "},
    {10201, "The specified object file is a wrong type."},
    {10202, "The specified object file is corrupted. "},
    {10203, "An error occurred while loading the specified object file."},
    {10204, "The object file is corrupted and cannot be converted."},
    {10205,
     "The specified object file has address not matching device information and cannot be "
     "converted. "},
    {10206, "Not enough disk space to save the converted file."},
    {10207, "Failed to convert the ABS file.\nThe converter (MERVEL.EXE) terminated in error."},
    {10208, "Cannot find the converter (MERVEL.EXE).\nPlace the converter in Ostrand folder."},
    {10209, "Invalid object file name."},
    {10210, "Cannot create a save file."},
    {10211, "Cannot save object."},
    {10212, "The file name is too long."},
    {10213, "The object file contains duplicate addresses and cannot be converted."},
    {10214, "The specified ABS file path contains invalid characters; conversion not possible."},
    {10215, "The specified object file has address not matching."},
    {10216, "The specified object file has emulation address not matching."},
    {10300, "The specified device folder does not exist."},
    {10301, "The WCP file does not exist."},
    {10302, "The WCP file is a wrong type."},
    {10303, "The WCP file is corrupted."},
    {10304, "An error occurred while loading the WCP file."},
    {10305, "The WCP file address specified does not conform to device spec."},
    {10306, "An Intel HEX format error was found in the WCP file."},
    {10307, "The WCP file size exceeds RAM capacity; transfer not possible."},
    {10308, "The total WCP file does not exist. "},
    {10309, "The WCP file for word write does not exist."},
    {10310, "The WCP file for word read does not exist."},
    {10311, "The WCP file for blank check does not exist."},
    {10312, "The WCP file for block erase does not exist."},
    {10313, "The WCP file for SUM check does not exist. "},
    {10314, "The specified address is wrong."},
    {10315, "The specified block start address or block size does not conform to device spec."},
    {10316, "The WCP file for read protect does not exist."},
    {10317, " "},
    {10318, " "},
    {10400, "The object expansion file does not exist."},
    {10401, "The object expansion file is a wrong type."},
    {10402, "The object expansion file is corrupted."},
    {10403, "An error occurred while loading the object expansion file."},
    {10404, "The object expansion file address specified does not conform to device spec."},
    {10405, "An Intel HEX format error was found in the object expansion file."},
    {10406, "Cannot create an object expansion file."},
    {10407, "Write address not conforming to device spec. "},
    {10408, " "},
    {10409, " "},
    {10500, "Address should be specified in HEX starting with 0x.\nUse letters 0-9 and A-F."},
    {10501,
     "Start Address should be specified in HEX starting with 0x.\nUse letters 0-9 and A-F. "},
    {10502, "Start Address is out of device spec and cannot be read."},
    {10503, "End Address should be specified in HEX starting with 0x.\nUse letters 0-9 and A-F. "},
    {10504, "End Address is out of device spec and cannot be read. "},
    {10505, "Start Address is greater than End Address."},
    {10506, "No Start Address is specified. "},
    {10507, "No End Address is specified. "},
    {10508, "Cannot skip data.(Data cannot be omitted.)"},
    {10509, "Data contains values over FF."},
    {10510, "Data format is wrong."},
    {10511, "Please set up Password."},
    {10512, "Please set up the device."},
    {10513, "The address is out of device spec and cannot be read. "},
    {10514, "No address is specified. "},
    {10515, "Set the device password."},
    {10516, "Set the object file password."},
    {10517, "Cannot change to Single Boot mode."},
    {10518, "Not enough data for the address range. "},
    {10519, "To much data for the address range."},
    {10520, "Out of the flash memory range; cannot be written. "},
    {10521, "(reserved)"},
    {10522, "(reserved)"},
    {10523, "ROM size cannot divide at 1024(Byte)."},
    {10524, "Out of Frequency."},
    {10525, "No calculate K/N value."},
    {10901, "Cannot start the browser."},
    {10902, "Cannot start Acrobat Reader."},
    {10999, "An application error."},
    {11000, "Connected."},
    {11001, "Failed to read flash memory."},
    {11002, "All erased."},
    {11003, "The specified range erased."},
    {11004, "Reprogramming in Boot mode failed."},
    {11005, "Reprogramming in RAM Loader mode failed."},
    {11006, "Programming completed successfully."},
    {11007, "Cannot read data from the device; display will be terminated."},
    {11008, "Failed to write data."},
    {11009, "After data was written, failed to read the data."},
    {11010, "The device SUM value and file SUM value matched in Single Boot mode. "},
    {11011, "The device SUM value and file SUM value did not match in Single Boot mode."},
    {11012, "The device SUM value and file SUM value matched in RAM Loader mode."},
    {11013, "The device SUM value and file SUM value did not match in RAM Loader mode. "},
    {11014, "Device data and file data did not match."},
    {11015, "Device data and file data matched completely."},
    {11016, "This device is not blank."},
    {11017, "This device is blank."},
    {11018, "Erase failed. "},
    {11019, "The device SUM value and file SUM value did not match."},
    {11020, "SUM calculation failed."},
    {11021, "Flash memory bits cannot be programmed from 0 to 1."},
    {11022, "The recovery process failed."},
    {11023, "Device data and file data did not match."},
    {11024, "Created a save file. "},
    {11025, "(reserved)"},
    {11026, "Failed to set Protect."},
    {11027, "Protected."},
    {11300, "Chip Erasing..."},
    {11301, "Block Erasing..."},
    {11302, "All Erasing..."},
    {11303, "Verifying..."},
    {11304, "Blank checking..."},
    {11305, "Comparing..."},
    {11306, "Programming..."},
    {11307, "Saving Memory..."},
    {11308, "Loading WCP..."},
    {11309, "Loading ObjectFile..."},
    {11310, "Finishing the save process..."},
    {11311, "Getting flash memory data..."},
    {11312, "Aborting processing..."},
    {11313, "Protecting..."},
    {12001, "All data in flash memory will be erased.\nDo you want to erase?"},
    {12002,
     "All data in the selected block of flash memory will be erased.\nDo you want to erase?"},
    {12003, "Do you want to continue programming?"},
    {12004, "Do you want to execute the recovery process?"},
    {12005,
     "After turning off the power, replace the chip with a new chip.\nWhen ready, press OK."},
    {12006, "Do you want to close the Setup Password dialog box?"},
    {12007,
     "The device for which password was set is not the device fixed last. \nDo you want to change "
     "the password setting?\nYou can also set a password using the Password command on the Setup "
     "menu."},
    {12010, "Do you want to terminate the connection and try to establish a connection again?"},
    {12013, "This device is in Protect Mode.\nErase All data in this device ? (Y/N)"},
    {12014,
     "You can use this program after erasing all data in the device.\nExit this program ? (Y/N)"},
    {12015,
     "\"Protect Mode\" was set on Auto Programming in last time.\nDo you want to set \"Protect "
     "Mode\" in this time?\nSelecting \"Yes\", \"Protect\" of \"Set Up menu-Option\" is set on , "
     "and protect function becomes effective."},
    {12016, "Erase All data in this device ? (Y/N)"},
    {12100,
     "Check the adapter power supply, reset switch, wiring, short pins, resonator and device. "},
    {12101, "Replace the device with a different device."},
    {12102, "Reset the adapter."},
    {12103, "Restart the Ostrand."},
    {12104, "Get the latest definition file from our Web site. "},
    {12105,
     "Check the device name.\nThe definition file may be old or the specified device may not be "
     "currently supported. \nGet the latest definition file from our Web site (see Help menu)."},
    {12106,
     "The specified device may not be supported.\nGet the latest WCP file from our Web site (see "
     "Help menu). "},
    {12107,
     "The WCP file may have been deleted.\nGet the latest WCP file from our Web site (see Help "
     "menu)."},
    {12108, "Check the address of the object file."},
    {12109, "Check to see if the disk has free space."},
    {12110, "Check the device spec."},
    {12111, "Check the password specified in the object file."},
    {12112, "Check the device's object description."},
    {12113, "Check to see if totalwcp.wcp exists at the prescribed location."},
    {12114, "Check to see if wordwrite.wcp exists at the prescribed location."},
    {12115, "Check to see if wordread.wcp exists at the prescribed location."},
    {12116, "Check to see if blank.wcp exists at the prescribed location."},
    {12117, "Check to see if blockerase.wcp exists at the prescribed location."},
    {12118, "Check to see if sum.wcp exists at the prescribed location."},
    {12119, "Check to see if you have selected the correct device."},
    {12120, "Specify new settings."},
    {12121, "The default settings are used."},
    {12122, "Create a new object file."},
    {12123, "Available functions are limited."},
    {12124, "Specify new settings and save them."},
    {12125,
     "An error may have occurred while converting the object file. \nCheck the object file and set "
     "it again. "},
    {12126,
     "Check the object file and try executing again.\nIf the error still persists, extended Intel "
     "HEX format conversion may be faulty. Please contact Calvane."},
    {12127, "The specified command is not supported."},
    {12128, "The SUM value of transfer data is wrong."},
    {12129, "The character count (number of bytes) should not exceed 255. "},
    {12130, "The character count (number of bytes) should be at least 8. "},
    {12131, "The file name should not be more than 125-character long. "},
    {12132, "End Address should be greater than Start Address."},
    {12133, "Data should be specified in byte units."},
    {12134,
     "The \"Save As\", \"Edit\" and \"Auto Programming\" menu commands can be executed after the "
     "password is set."},
    {12135,
     "Restart the Ostrand and try executing again.\nIf the error still persists, a system error "
     "may have occurred. Please contact Calvane."},
    {12136,
     "Use HEX format only and separate each data with a comma or space.\nDo not prefix with 0x."},
    {12137,
     "The specified file path may be invalid or the file may be write-protected or being used by "
     "another application."},
    {12138,
     "The password setting depends on the device.\nSelect a device in the Device tab and press the "
     "Apply button to fix your selection.\nPressing OK will close the Setup dialog box. Set the "
     "password using the Password command on the Setup menu."},
    {12139,
     "The password setting depends on the device. \nFix your device selection using the Device "
     "command on the Setup menu."},
    {12140, "The password or WCP file may be invalid. "},
    {12141,
     "WCP has already been loaded. \nTo change to Single Boot mode, restart the Ostrand and change "
     "the mode before loading WCP. "},
    {12142,
     "No device is specified. Select a device and fix your selection using the Device command on "
     "the Setup menu. "},
    {12143, "Check the data transfer rate of the communication port. "},
    {12144,
     "Check to see if the clock frequency of the adapter's resonator is valid for the specified "
     "baud rate."},
    {12145,
     "To execute the Auto Programming command in individual WCP mode or S-Boot-PW mode, you need "
     "to set the device password and object file password. "},
    {12146, "The object file password can be set after an object file has been specified."},
    {12147,
     "The file path should contain only one-byte alphanumeric letters (excluding ' + ', ' , ', ' ; "
     "', ' = ', ' [ ' and ' ] '). \nSpecify a valid path and try again."},
    {12148, "Check to see if readprotect.wcp exists at the prescribed location."},
    {12149,
     "M149 : If the password include \":\"(HEX code '3A'), there is a possibility that Ostrand "
     "will stop.\nYou had better to change the password that do not include \":\"(HEX code "
     "'3A').\n"},
    {12150,
     "The address option setting depends on the device.\nSelect a device in the Device tab and "
     "press the Apply button to fix your selection."},
    {12151,
     "WCP has already been loaded. \nTo Erase, restart the Ostrand and do before loading WCP. "},
    {12152, "The device password can be set after an object file has been specified."},
    {12153, "The port has no RTS and DTR lines; the target is not reset through them."},
    {12154, "The run record cannot be written."},
    {12200,
     "Select a device name.\nTo fix your selection, press the [Apply] button. \nIf your desired "
     "device name cannot be displayed, the definition file may be old. \nGet the latest definition "
     "file from our Web site. "},
    {12201,
     "Select an object file to be written to the device.\nThe supported file types are \"*.abs\", "
     "\"*.h16\", \"*.h20\", \"*.s16\", \"*.s24\" and \"*.s32\". "},
    {12202,
     "Select a setup file.\nIf you select a different setup file from the one currently loaded, "
     "the changes you have made in the Device, Object File, and Communication tabs before "
     "specifying the setup file will take no effect. "},
    {12203,
     "Select a port and data transfer rate for communication with the adapter. \nThese settings "
     "depend on the resonator mounted on the adapter.\nCheck the device spec before setting these "
     "items."},
    {12204,
     "Set the password written in the device as Device Password.\nSet the password written in the "
     "object file's source code as Object File Password.\nThe number of characters in the password "
     "(within 255 ASCII codes or 255 HEX bytes) should match the value written at Password count "
     "storage address.  \nFor the object file, set Password count storage address and Password "
     "comparison start address as written in the source code."},
    {12205,
     "By turning Protect on, the flash memory change to protect mode.\nIf enabling Protect,protect "
     "mode is set after \"Write Data\" is done on \"Programming\",\"Data Write\",\"Dump\"(when "
     "typing data) on Edit Menu.\nIf you want disabling on this box , you need to do \"Chip "
     "Erase\" on \"Edit Menu\"."},
    {12206,
     "Re-start the Ostrand ,after turning \"Erase Without Password\" on, a message box will "
     "open.\nThis message box ask whether erasing ROM data or not without password.\nIf you "
     "selecting to erase ROM data, you can erase ROM data without password."},
    {12207,
     "Enter the port name and the clock frequency used by the target device.\nThe divisor value is "
     "automatically calculated and the data rate is set to 115200 bps.\nThe clock frequency that "
     "can be used vary with each target device and should be checked in the datasheet of the "
     "target device."},
    {12208, "Enter the port name.\nThe data rate is fixed to 115200bps."},
    {12209,
     "EPFC_OP Check\nThe data except \"0xFF\" was detected in the address \"0xFFFA\".\nIf this "
     "IntelHEX data is programming into Flash, a password will be required to erase next time."},
    {12210,
     "DAFC_OP Check\nThe data except \"0xFF\" was detected in the address \"0xFFFB\".\nIf read "
     "protect is set after programming this IntelHEX data into Flash, the OCD function will not be "
     "available until chip erase is executed."},
    {13010, "WCP-Div"},
    {13011, "WCP-All"},
    {13012, "S-Boot-PW"},
    {13013, "S-Boot"},
    {13020, "Connected"},
    {13021, "Accessing..."},
    {13022, "Disconnect"},
};

constexpr bool sortedCatalogue() {
    for (size_t i = 1; i < std::size(kCatalogue); ++i)
        if (kCatalogue[i - 1].code >= kCatalogue[i].code) return false;
    return true;
}
static_assert(sortedCatalogue(), "catalogue must be sorted by number");

}  // namespace

std::optional<std::string_view> messageText(int32_t code) {
    auto it = std::lower_bound(std::begin(kCatalogue), std::end(kCatalogue), code,
                               [](const Entry& e, int32_t c) { return e.code < c; });
    if (it == std::end(kCatalogue) || it->code != code) return std::nullopt;
    return std::string_view(it->text);
}

std::string_view messageTextOrFallback(int32_t code) {
    if (auto t = messageText(code)) return *t;
    return *messageText(10999);
}

MessageClass messageClass(int32_t code) {
    if (code > 10999 && code >= 12001) return MessageClass::Notice;
    if (code >= 11000 && code <= 12000) return MessageClass::Result;
    return MessageClass::Error;
}

std::string messagePrefix(int32_t code) {
    char buf[32];
    switch (messageClass(code)) {
        case MessageClass::Notice:
            std::snprintf(buf, sizeof buf, "M%03d", code - 12000);
            break;
        case MessageClass::Result:
            std::snprintf(buf, sizeof buf, "R%03d", code - 11000);
            break;
        case MessageClass::Error:
            std::snprintf(buf, sizeof buf, "E%03d", code - 10000);
            break;
    }
    return buf;
}

std::string printableDetail(std::string_view detail) {
    std::string out;
    for (unsigned char c : detail) {
        char piece[5] = {static_cast<char>(c), 0};
        if (c < 0x20 || c >= 0x7F) std::snprintf(piece, sizeof piece, "\\x%02X", c);
        if (out.size() + std::strlen(piece) > kDetailLimit) return out + "...";
        out += piece;
    }
    return out;
}

std::string formatMessage(int32_t code, int32_t place, int32_t hintCode, std::string_view detail) {
    std::string text = messagePrefix(code);
    if (place != 0) text += "-" + std::to_string(place);
    text += " : ";
    text += messageTextOrFallback(code);
    if (!detail.empty()) {
        text += "  \"";
        text += detail;
        text += '"';
    }
    if (hintCode != 0) {
        if (auto hint = messageText(hintCode)) {
            text += '\n';
            text += *hint;
        }
    }
    return text;
}

std::string formatCommandError(uint8_t commandByte, std::string_view detail) {
    char filled[128];
    std::snprintf(filled, sizeof filled, "A command error occurred. (%02XH was sent.)",
                  commandByte);
    std::string text = "E006 : ";
    text += filled;
    text += "  \"";
    text += detail;
    text += "\"\n";
    text += *messageText(12127);
    return text;
}

std::string formatAdapterLost() {
    std::string text = "E000 : ";
    text += *messageText(10000);
    text += '\n';
    text += *messageText(12100);
    return text;
}

std::vector<int32_t> catalogueCodes() {
    std::vector<int32_t> codes;
    for (const auto& e : kCatalogue) codes.push_back(e.code);
    return codes;
}

}  // namespace ostrand
