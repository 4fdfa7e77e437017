// The library's declared tables: source files, failure codes, the message
// catalogue that status words are decoded with and the built-in SMART
// attribute names; the application logger's registration; the query
// library's wrappers over the OS layer.
#include "devlib/orvlib_decl.h"
#include "osl/orv_status.h"
#include "osl/osl_log.h"

const orvlib_strnum_map orvlib_src_file_map[] = {
    {1, "osl_alloc"},
    {2, "osl_clib"},
    {3, "osl_log"},
    {4, "osl_cmd"},
    {5, "osl_file"},
    {6, "osl_util"},
    {7, "osl_mutex"},
    {8, "osl_thread"},
    {9, "osl_sata"},
    {10, "osl_scsi"},
    {11, "osl_nvme"},
    {12, "osl_csmi"},
    {51, "cmdlib_gencmd"},
    {52, "cmdlib_devlist"},
    {53, "cmdlib_fwupdate"},
    {54, "cmdlib_pkg"},
    {55, "cmdlib_devinfo"},
    {56, "cmdlib_secerase"},
    {57, "cmdlib_features"},
    {58, "cmdlib_maxlba"},
    {59, "cmdlib_selftest"},
    {60, "cmdlib_diagtest"},
    {61, "cmdlib_devlogs"},
    {62, "cmdlib_raw"},
    {63, "cmdlib_nvm_ns_ops"},
    {64, "cmdlib_devdump"},
    {65, "cmdlib_tcg_ops"},
    {66, "cmdlib_modeparams"},
    {100, "orvlib_decl"},
    {101, "orvlib_err"},
    {102, "orvlib_buffer"},
    {103, "orvlib_gendev"},
    {120, "orvlib_buffer_tcg"},
    {121, "orvlib_cmd_tcg"},
    {122, "orvlib_tcg"},
    {123, "orvlib_tcgdev"},
    {130, "orvlib_buffer_sata"},
    {131, "orvlib_cmd_sata"},
    {132, "orvlib_sata"},
    {140, "orvlib_buffer_scsi"},
    {141, "orvlib_cmd_scsi"},
    {142, "orvlib_scsi"},
    {150, "orvlib_buffer_nvme"},
    {151, "orvlib_cmd_nvme"},
    {152, "orvlib_nvme"},
    {160, "divizu_common"},
    {161, "divizu_devlist"},
    {162, "divizu_fwupdate"},
    {163, "divizu_devinfo"},
    {164, "divizu_security"},
    {165, "divizu_features"},
    {166, "divizu_maxlba"},
    {167, "divizu_selftest"},
    {168, "divizu_diagtest"},
    {169, "divizu_devlogs"},
    {170, "divizu_raw"},
    {171, "divizu_nvm_ns_ops"},
    {172, "divizu_devdump"},
    {173, "divizu_tcg_ops"},
    {174, "divizu_modeparams"},
    {175, "divizu_version"},
    {176, "divizu_handlers"},
    {221, "cli_main"},
    {222, "cli_parser"},
    {223, "cli_parser_json"},
    {224, "cli_backend"},
    {241, "srv_main"},
    {242, "srv_frontend"},
    {243, "srv_async"},
    {244, "srv_backend"},
    {245, "srv_parse_url"},
    {246, "srv_read_conf"},
    {247, "srv_session"},
};

const orvlib_strnum_map orvlib_err_code_map[] = {
    {0, "ORVERR0"},
    {1, "ORVERR1"},
    {2, "ORVERR2"},
    {3, "ORVERR3"},
    {4, "ORVERR4"},
    {5, "ORVERR5"},
    {6, "ORVERR6"},
    {7, "ORVERR7"},
    {8, "ORVERR8"},
    {9, "ORVERR9"},
    {10, "ORVERR10"},
    {11, "ORVERR11"},
    {12, "ORVERR12"},
    {13, "ORVERR13"},
    {14, "ORVERR14"},
    {15, "ORVERR15"},
    {16, "ORVERR16"},
    {17, "ORVERR17"},
    {18, "ORVERR18"},
    {19, "ORVERR19"},
    {20, "ORVERR20"},
    {21, "ORVERR21"},
    {22, "ORVERR22"},
    {23, "ORVERR23"},
    {24, "ORVERR24"},
    {25, "ORVERR25"},
    {26, "ORVERR26"},
    {27, "ORVERR27"},
    {28, "ORVERR28"},
    {29, "ORVERR29"},
    {30, "ORVERR30"},
    {31, "ORVERR31"},
    {32, "ORVERR32"},
    {33, "ORVERR33"},
    {34, "ORVERR34"},
    {35, "ORVERR35"},
    {36, "ORVERR36"},
    {37, "ORVERR37"},
    {38, "ORVERR38"},
    {39, "ORVERR39"},
    {40, "ORVERR40"},
    {41, "ORVERR41"},
    {42, "ORVERR42"},
    {43, "ORVERR43"},
    {44, "ORVERR44"},
    {45, "ORVERR45"},
    {46, "ORVERR46"},
    {47, "ORVERR47"},
    {48, "ORVERR48"},
    {49, "ORVERR49"},
    {50, "ORVERR50"},
    {51, "ORVERR51"},
    {52, "ORVERR52"},
    {53, "ORVERR53"},
    {54, "ORVERR54"},
    {55, "ORVERR55"},
    {56, "ORVERR56"},
    {57, "ORVERR57"},
    {58, "ORVERR58"},
    {59, "ORVERR59"},
    {60, "ORVERR60"},
    {61, "ORVERR61"},
    {62, "ORVERR62"},
    {63, "ORVERR63"},
    {64, "ORVERR64"},
    {65, "ORVERR65"},
    {66, "ORVERR66"},
    {67, "ORVERR67"},
    {68, "ORVERR68"},
    {69, "ORVERR69"},
    {70, "ORVERR70"},
    {71, "ORVERR71"},
    {72, "ORVERR72"},
    {73, "ORVERR73"},
    {74, "ORVERR74"},
    {75, "ORVERR75"},
    {76, "ORVERR76"},
    {77, "ORVERR77"},
    {78, "ORVERR78"},
    {79, "ORVERR79"},
    {80, "ORVERR80"},
    {81, "ORVERR81"},
    {82, "ORVERR82"},
    {83, "ORVERR83"},
    {84, "ORVERR84"},
    {85, "ORVERR85"},
    {86, "ORVERR86"},
    {87, "ORVERR87"},
    {88, "ORVERR88"},
    {89, "ORVERR89"},
    {90, "ORVERR90"},
    {91, "ORVERR91"},
    {92, "ORVERR92"},
    {93, "ORVERR93"},
    {94, "ORVERR94"},
    {95, "ORVERR95"},
    {96, "ORVERR96"},
    {97, "ORVERR97"},
    {98, "ORVERR98"},
    {99, "ORVERR99"},
    {100, "ORVERR100"},
    {101, "ORVERR101"},
    {102, "ORVERR102"},
    {103, "ORVERR103"},
    {104, "ORVERR104"},
    {105, "ORVERR105"},
    {106, "ORVERR106"},
    {107, "ORVERR107"},
    {108, "ORVERR108"},
    {109, "ORVERR109"},
    {110, "ORVERR110"},
    {111, "ORVERR111"},
    {112, "ORVERR112"},
    {113, "ORVERR113"},
    {114, "ORVERR114"},
    {115, "ORVERR115"},
    {116, "ORVERR116"},
    {117, "ORVERR117"},
    {118, "ORVERR118"},
    {119, "ORVERR119"},
    {120, "ORVERR120"},
    {121, "ORVERR121"},
    {122, "ORVERR122"},
    {123, "ORVERR123"},
    {124, "ORVERR124"},
    {125, "ORVERR125"},
    {126, "ORVERR126"},
    {127, "ORVERR127"},
    {128, "ORVERR128"},
    {129, "ORVERR129"},
    {130, "ORVERR130"},
    {131, "ORVERR131"},
    {132, "ORVERR132"},
    {133, "ORVERR133"},
    {134, "ORVERR134"},
    {135, "ORVERR135"},
    {136, "ORVERR136"},
    {137, "ORVERR137"},
    {138, "ORVERR138"},
    {139, "ORVERR139"},
    {140, "ORVERR140"},
    {141, "ORVERR141"},
    {142, "ORVERR142"},
    {143, "ORVERR143"},
    {144, "ORVERR144"},
    {145, "ORVERR145"},
    {146, "ORVERR146"},
    {147, "ORVERR147"},
    {148, "ORVERR148"},
    {149, "ORVERR149"},
    {150, "ORVERR150"},
    {151, "ORVERR151"},
    {152, "ORVERR152"},
    {153, "ORVERR153"},
    {154, "ORVERR154"},
    {155, "ORVERR155"},
    {156, "ORVERR156"},
    {157, "ORVERR157"},
    {158, "ORVERR158"},
    {159, "ORVERR159"},
    {160, "ORVERR160"},
    {161, "ORVERR161"},
    {162, "ORVERR162"},
    {163, "ORVERR163"},
    {164, "ORVERR164"},
    {165, "ORVERR165"},
    {166, "ORVERR166"},
    {167, "ORVERR167"},
    {168, "ORVERR168"},
    {169, "ORVERR169"},
    {170, "ORVERR170"},
    {171, "ORVERR171"},
    {172, "ORVERR172"},
    {173, "ORVERR173"},
    {174, "ORVERR174"},
    {175, "ORVERR175"},
    {176, "ORVERR176"},
    {177, "ORVERR177"},
    {178, "ORVERR178"},
    {179, "ORVERR179"},
    {180, "ORVERR180"},
    {181, "ORVERR181"},
    {182, "ORVERR182"},
    {183, "ORVERR183"},
    {184, "ORVERR184"},
    {185, "ORVERR185"},
    {186, "ORVERR186"},
    {187, "ORVERR187"},
    {188, "ORVERR188"},
    {189, "ORVERR189"},
    {190, "ORVERR190"},
    {191, "ORVERR191"},
    {192, "ORVERR192"},
    {193, "ORVERR193"},
    {194, "ORVERR194"},
    {195, "ORVERR195"},
    {196, "ORVERR196"},
    {197, "ORVERR197"},
    {198, "ORVERR198"},
};

const char orvlib_msg_catalogue[] =
    "ORVERR0:Command completed successfully;"
    "ORVERR1:Command completed with an error;"
    "ORVERR2:Instance is not initialized;"
    "ORVERR3:Invalid argument specified;"
    "ORVERR4:Invalid Firmware File Size;"
    "ORVERR5:No devices found;"
    "ORVERR6:Invalid buffer length;"
    "ORVERR7:Buffer index out of bound;"
    "ORVERR8:Insufficient memory;"
    "ORVERR9:Invalid module code;"
    "ORVERR10:Invalid status type code;"
    "ORVERR11:Invalid error code;"
    "ORVERR12:Invalid message id;"
    "ORVERR13:Opening the device failed;"
    "ORVERR14:Get Device Detailed Data failed;"
    "ORVERR15:Get Device Class failed;"
    "ORVERR16:File open failed;"
    "ORVERR17:File close failed;"
    "ORVERR18:Invalid file pointer;"
    "ORVERR19:Query on device failed;"
    "ORVERR20:Duplicate optional argument;"
    "ORVERR21:Invalid string;"
    "ORVERR22:Unsupported event type;"
    "ORVERR23:Argument not specified for option;"
    "ORVERR24:Invalid option;"
    "ORVERR25:Invalid argument;"
    "ORVERR26:Back end handler not in list;"
    "ORVERR27:File parsing error;"
    "ORVERR28:Empty document;"
    "ORVERR29:Unknown parameter;"
    "ORVERR30:Missing parameter;"
    "ORVERR31:Unknown parameter type;"
    "ORVERR32:PARAM_TYPE not defined;"
    "ORVERR33:Back end handler busy with other task;"
    "ORVERR34:Invalid back end handler;"
    "ORVERR35:Invalid parameter value;"
    "ORVERR36:Regular expression exec failed;"
    "ORVERR37:ATA Identify failed;"
    "ORVERR38:ATA Download Microcode failed;"
    "ORVERR39:ATA Smart Command failed;"
    "ORVERR40:ATA Microcode Activation failed;"
    "ORVERR41:SCSI Download Microcode failed;"
    "ORVERR42:SCSI Smart Command failed;"
    "ORVERR43:Unsupported device type;"
    "ORVERR44:Firmware download passed NOP Required;"
    "ORVERR45:Firmware download passed Reboot Required;"
    "ORVERR46:Firmware download passed Power Down required;"
    "ORVERR47:Firmware download passed Power Cycle Required;"
    "ORVERR48:Firmware download passed Full Power Down required;"
    "ORVERR49:Firmware download passed Full Power Cycle required;"
    "ORVERR50:Firmware download incomplete NOP Required;"
    "ORVERR51:Firmware download incomplete Reboot Required;"
    "ORVERR52:Firmware download incomplete Power Down required;"
    "ORVERR53:Firmware download incomplete Power Cycle Required;"
    "ORVERR54:Firmware download incomplete Full Power Down required;"
    "ORVERR55:Firmware download incomplete Full Power Cycle required;"
    "ORVERR56:Not a regular file;"
    "ORVERR57:Not a directory;"
    "ORVERR58:User doesn't have write permission on file/directory;"
    "ORVERR59:File read failed;"
    "ORVERR60:File write failed;"
    "ORVERR61:Aborting as given file is not a firmware package file;"
    "ORVERR62:Aborting as invalid or corrupt firmware package file;"
    "ORVERR63:Aborting as given file is already a firmware package file;"
    "ORVERR64:Operation cancelled by user;"
    "ORVERR65:Firmware downgrade or update to same version not allowed;"
    "ORVERR66:Aborting as operation may cause data loss;"
    "ORVERR67:ATA Set Secure Password Failed;"
    "ORVERR68:ATA Secure Erase Prepare Failed;"
    "ORVERR69:ATA Secure Erase Failed;"
    "ORVERR70:SCSI Set Secure Password Failed;"
    "ORVERR71:SCSI Secure Erase Prepare Failed;"
    "ORVERR72:SCSI Secure Erase Failed;"
    "ORVERR73:Drive is in frozen state and needs hardware reset/power down;"
    "ORVERR74:Security Level set to maximum. Enter user password;"
    "ORVERR75:Security commands unsupported;"
    "ORVERR76:Drive in unknown secure state;"
    "ORVERR77:Enhanced secure erase mode unsupported by drive;"
    "ORVERR78:Invalid date argument;"
    "ORVERR79:Device Configuration Overlay unsupported;"
    "ORVERR80:DCO Identify failed;"
    "ORVERR81:DCO Restore failed;"
    "ORVERR82:DCO Set failed;"
    "ORVERR83:Feature unsupported;"
    "ORVERR84:Set feature command failed;"
    "ORVERR85:SATA Feature enable/disable not supported;"
    "ORVERR86:DMA Operation not supported on device;"
    "ORVERR87:SMART Feature not supported on device;"
    "ORVERR88:GPL access not support on log address;"
    "ORVERR89:SMART access not support on log address;"
    "ORVERR90:Download Microcode command is not supported on device;"
    "ORVERR91:Specified LBA is more than maximum supported LBA;"
    "ORVERR92:Start and end LBA for SPAN can not be 0;"
    "ORVERR93:Test SPAN overlap with each other;"
    "ORVERR94:Open udev failed on system;"
    "ORVERR95:Given device is not block device;"
    "ORVERR96:Udev can not find specified device;"
    "ORVERR97:SGL IO is not supported;"
    "ORVERR98:Segmented download is not safe;"
    "ORVERR99:Memory mapping of file failed;"
    "ORVERR100:Read log command failed;"
    "ORVERR101:Write log command failed;"
    "ORVERR102:SMART Read log command failed;"
    "ORVERR103:SMART Write log command failed;"
    "ORVERR104:SMART Enable operations failed;"
    "ORVERR105:SMART Disable operations failed;"
    "ORVERR106:SMART Execute immediate offline command failed;"
    "ORVERR107:CDB Length not supported;"
    "ORVERR108:SCSI Read Media Serial command failed;"
    "ORVERR109:SCSI Inquiry command failed;"
    "ORVERR110:SCSI Report Supported Operation Code command failed;"
    "ORVERR111:SCSI Read Buffer command failed;"
    "ORVERR112:SCSI Write Buffer command failed;"
    "ORVERR113:SCSI Mode Sense command failed;"
    "ORVERR114:SCSI Log Sense command failed;"
    "ORVERR115:SCSI Mode Select command failed;"
    "ORVERR116:SCSI Log Select command failed;"
    "ORVERR117:Deferred download failed with current firmware image;"
    "ORVERR118:Changing feature value is not supported in tool;"
    "ORVERR119:SCSI Sanitize Device command failed;"
    "ORVERR120:SCSI Read Capacity command failed;"
    "ORVERR121:SCSI Request Sense command failed;"
    "ORVERR122:Sense Data doesn't match the expected value;"
    "ORVERR123:SCSI Send Diagnostic command failed;"
    "ORVERR124:Self-test is already running on device;"
    "ORVERR125:Self-test is not running on device;"
    "ORVERR126:Requested Self-test is not supported;"
    "ORVERR127:Invalid field in received Mode Sense buffer;"
    "ORVERR128:SMART feature is not enabled on device;"
    "ORVERR129:CDB length mismatch;"
    "ORVERR130:Application aborted due to abort signal;"
    "ORVERR131:Abort signal request cancelled by user;"
    "ORVERR132:Application can not abort during critical operations;"
    "ORVERR133:Data mismatch detected for LBA;"
    "ORVERR134:SCSI read defect data command failed;"
    "ORVERR135:Device read command failed;"
    "ORVERR136:Device Write command failed;"
    "ORVERR137:Device LBA verify command failed;"
    "ORVERR138:SCSI Test unit ready command failed;"
    "ORVERR139:SCSI Start stop unit command failed;"
    "ORVERR140:ATA Standby immediate command failed;"
    "ORVERR141:ATA Idle immediate command failed;"
    "ORVERR142:ATA Check power mode command failed;"
    "ORVERR143:Format unit command failed;"
    "ORVERR144:NVMe identify command failed;"
    "ORVERR145:NVMe get features command failed;"
    "ORVERR146:NVMe set features command failed;"
    "ORVERR147:NVMe firmware commit command failed;"
    "ORVERR148:NVMe firmware download command failed;"
    "ORVERR149:NVMe get log page command failed;"
    "ORVERR150:NVMe namespace management command failed;"
    "ORVERR151:NVMe namespace attachment command failed;"
    "ORVERR152:NVMe asynchronous event request command failed;"
    "ORVERR153:NVMe flush command failed;"
    "ORVERR154:NVMe write command failed;"
    "ORVERR155:NVMe read command failed;"
    "ORVERR156:NVMe compare command failed;"
    "ORVERR157:NVMe format command failed;"
    "ORVERR158:NVMe Security send command failed;"
    "ORVERR159:NVMe Security receive command failed;"
    "ORVERR160:LBA range is too small;"
    "ORVERR161:ATA Flush cache command failed;"
    "ORVERR162:SCSI Synchronize cache command failed;"
    "ORVERR163:ATA Security Disable Password failed;"
    "ORVERR164:ATA Security Unlock command failed;"
    "ORVERR165:ATA Set accessible max address command failed;"
    "ORVERR166:Device operation is exclusively locked by other command;"
    "ORVERR167:Format operation is active on device;"
    "ORVERR168:Format operation is not active on device;"
    "ORVERR169:Invalid binary file;"
    "ORVERR170:Parallel operation on NVMe device is not allowed;"
    "ORVERR171:ATA Trusted send command failed;"
    "ORVERR172:ATA Trusted receive command failed;"
    "ORVERR173:SCSI Security protocol out command failed;"
    "ORVERR174:SCSI Security protocol in command failed;"
    "ORVERR175:SCSI Read internal log command failed;"
    "ORVERR176:TCG authentication failed on device;"
    "ORVERR177:TCG start session failed;"
    "ORVERR178:TCG end session failed;"
    "ORVERR179:PSID revert command failed;"
    "ORVERR180:Invalid IO block size;"
    "ORVERR181:SMART-trip failure detected on device;"
    "ORVERR182:Changing mode parameter value not allowed;"
    "ORVERR183:Exceeded retries to get the expected response;"
    "ORVERR184:Device has active partition(s);"
    "ORVERR185:Changing feature value is not supported in OS;"
    "ORVERR186:TCG command failed;"
    "ORVERR187:TCG TPer Propert read operation failed;"
    "ORVERR188:TCG read data store table operation failed;"
    "ORVERR189:TCG read MSID_PIN operation failed;"
    "ORVERR190:TCG set SID Password operation failed;"
    "ORVERR191:ATA Sanitize operation failed;"
    "ORVERR192:Firmware image has overlapping ranges;"
    "ORVERR193:Failed decoding internal log;"
    "ORVERR194:TCG Locking SP not active on device;"
    "ORVERR195:NVMe Self-test operation failed;"
    "ORVERR196:NVMe Sanitize operation failed;"
    "ORVERR197:SMART error threshold value exceeded;"
    "ORVERR198:Invalid combination of parameters;";

u32 orvlib_strnum_map_size(const orvlib_strnum_map* table) {
  if (table == orvlib_src_file_map) return sizeof(orvlib_src_file_map) / sizeof(orvlib_src_file_map[0]);
  if (table == orvlib_err_code_map) return sizeof(orvlib_err_code_map) / sizeof(orvlib_err_code_map[0]);
  return 0;
}

// Application-logger registration: the hook of the device library filters
// by the registered priority and the mask before the application sees a line.

namespace {

OrvAppLogger registeredLogger = nullptr;
u32 registeredPriority = OSL_LOG_ALERT;
u8 logMask = 7;

}  // namespace

void orvlib_register_app_logger(OrvAppLogger logger, osl_log_priority_e priority) {
  registeredLogger = logger;
  osl_set_log_hook(&orvlib_app_log);
  registeredPriority = static_cast<u32>(priority);
}

void orvlib_unregister_app_logger() { registeredLogger = nullptr; }

u8 orvlib_mask_app_log(u8 mask) {
  u8 previous = logMask;
  logMask = mask;
  return previous;
}

u8 orvlib_unmask_app_log() { return orvlib_mask_app_log(7); }

int orvlib_app_log(osl_log_priority_e level, const char* format, va_list arguments) {
  int signedLevel = static_cast<int>(level);
  if (!registeredLogger || signedLevel > static_cast<s32>(registeredPriority) ||
      signedLevel > static_cast<int>(logMask))
    return 0;
  return registeredLogger(level, format, arguments);
}

const char orvlib_smart_attr_config[] =
    R"json({    "devices": [)json"
    R"json(        {            "model": ".*",            "firmware": ".*",            "parser_index": "0"        })json"
    R"json(    ],    "parsers": [)json"
    R"json(        {            "attributes": [)json"
    R"json(                { "id": "0x01", "name": "Raw Read Error Rate" },)json"
    R"json(                { "id": "0x02", "name": "Throughput Performance" },)json"
    R"json(                { "id": "0x03", "name": "Spin-Up Time" },)json"
    R"json(                { "id": "0x04", "name": "Start/Stop Count" },)json"
    R"json(                { "id": "0x05", "name": "Re-allocated Sector Count" },)json"
    R"json(                { "id": "0x07", "name": "Seek Error Rate" },)json"
    R"json(                { "id": "0x08", "name": "Seek Time Performance" },)json"
    R"json(                { "id": "0x09", "name": "Power-On Hours Count" },)json"
    R"json(                { "id": "0x0A", "name": "Spin-up Retry Count" },)json"
    R"json(                { "id": "0x0C", "name": "Power Cycle Count" },)json"
    R"json(                { "id": "0xA7", "name": "SSD Protect Mode" },)json"
    R"json(                { "id": "0xA8", "name": "SATA Phy Error count" },)json"
    R"json(                { "id": "0xA9", "name": "Total Bad Block count" },)json"
    R"json(                { "id": "0xAA", "name": "Max Bad Block Count" },)json"
    R"json(                { "id": "0xAD", "name": "Erase Count (user data)" },)json"
    R"json(                { "id": "0xAE", "name": "Erase Count (System Data)" },)json"
    R"json(                { "id": "0xAF", "name": "Bad Cluster Count" },)json"
    R"json(                { "id": "0xB7", "name": "SATA DownShift" },)json"
    R"json(                { "id": "0xB8", "name": "End-End ED/C" },)json"
    R"json(                { "id": "0xB9", "name": "Head Stability" },)json"
    R"json(                { "id": "0xBB", "name": "Uncorrectable Errors" },)json"
    R"json(                { "id": "0xBC", "name": "Command Time Out" },)json"
    R"json(                { "id": "0xBD", "name": "HighFly Writes" },)json"
    R"json(                { "id": "0xBE", "name": "Airflow Temperature" },)json"
    R"json(                { "id": "0xBF", "name": "Shock Sensor Count" },)json"
    R"json(                { "id": "0xC0", "name": "Emergency Retract Cycle Count" },)json"
    R"json(                { "id": "0xC1", "name": "Load/Unload Cycle Count" },)json"
    R"json(                { "id": "0xC2", "name": "HDA Temperature" },)json"
    R"json(                { "id": "0xC4", "name": "Re-allocated Sector Event" },)json"
    R"json(                { "id": "0xC5", "name": "Current Pending Sector Count" },)json"
    R"json(                { "id": "0xC6", "name": "Offline Scan Uncorrectable Sector count" },)json"
    R"json(                { "id": "0xC7", "name": "Ultra DMA CRC Error Rate" },)json"
    R"json(                { "id": "0xDC", "name": "Disk Shift" },)json"
    R"json(                { "id": "0xDE", "name": "Loaded Hours" },)json"
    R"json(                { "id": "0xDF", "name": "Load Retry Count" },)json"
    R"json(                { "id": "0xE0", "name": "Load Friction" },)json"
    R"json(                { "id": "0xE2", "name": "Load in Time" },)json"
    R"json(                { "id": "0xF0", "name": "Total Host Writes / Write Head" },)json"
    R"json(                { "id": "0xF1", "name": "Total LBAs Written" },)json"
    R"json(                { "id": "0xF2", "name": "Total LBAs Read" },)json"
    R"json(                { "id": "0xF3", "name": "Total Media Writes / Refresh Count" },)json"
    R"json(                { "id": "0xF9", "name": "Non-Discloser" },)json"
    R"json(                { "id": "0xFE", "name": "Free Fall Sensor Event Count (optional)" })json"
    R"json(            ]        },)json"
    R"json(        {            "attributes": [)json"
    R"json(                { "id": "0x01", "name": "Read Error Rate" },)json"
    R"json(                { "id": "0x02", "name": "Throughput Performance" },)json"
    R"json(                { "id": "0x03", "name": "Spin-up Time" },)json"
    R"json(                { "id": "0x05", "name": "Reallocated Sector Count" },)json"
    R"json(                { "id": "0x07", "name": "Seek Error Rate" },)json"
    R"json(                { "id": "0x08", "name": "Seek Time Performance" },)json"
    R"json(                { "id": "0x09", "name": "Power-on Hours Count" },)json"
    R"json(                { "id": "0x0A", "name": "Spin-up Retry Count" },)json"
    R"json(                { "id": "0x0C", "name": "Drive Power Cycle Count" },)json"
    R"json(                { "id": "0xA7", "name": "SSD Protect Mode" },)json"
    R"json(                { "id": "0xA8", "name": "SATA PHY Error Count" },)json"
    R"json(                { "id": "0xA9", "name": "Total Bad Block Count" },)json"
    R"json(                { "id": "0xAA", "name": "Max Bad Block Count" },)json"
    R"json(                { "id": "0xAD", "name": "Erase Count(User Data)" },)json"
    R"json(                { "id": "0xAE", "name": "Erase Count(System Data)" },)json"
    R"json(                { "id": "0xAF", "name": "Bad Cluster Count" },)json"
    R"json(                { "id": "0xBB", "name": "Non-disclosure" },)json"
    R"json(                { "id": "0xC0", "name": "Unexpected Power Loss Count" },)json"
    R"json(                { "id": "0xC2", "name": "Temperature" },)json"
    R"json(                { "id": "0xC5", "name": "Current Pending Sector Count" },)json"
    R"json(                { "id": "0xE8", "name": "Power Loss Protection Failure" },)json"
    R"json(                { "id": "0xF0", "name": "Write Head" },)json"
    R"json(                { "id": "0xF1", "name": "Host Writes" },)json"
    R"json(                { "id": "0xF2", "name": "Host Reads" },)json"
    R"json(                { "id": "0xF3", "name": "Refresh Count" })json"
    R"json(            ]        },)json"
    R"json(        {            "attributes": [)json"
    R"json(                { "id": "0x01", "name": "Read Error Rate" },)json"
    R"json(                { "id": "0x05", "name": "Reallocated Sector Count" },)json"
    R"json(                { "id": "0x09", "name": "Power-on Hours Count" },)json"
    R"json(                { "id": "0x0C", "name": "Power Cycle Count" },)json"
    R"json(                { "id": "0x0D", "name": "Initial Bad Block" },)json"
    R"json(                { "id": "0xA7", "name": "SSD Protect Mode" },)json"
    R"json(                { "id": "0xA8", "name": "SATA PHY Error Count" },)json"
    R"json(                { "id": "0xA9", "name": "Total Bad Block Count" },)json"
    R"json(                { "id": "0xAD", "name": "Erase Count (User Data)" },)json"
    R"json(                { "id": "0xAE", "name": "Erase Count(System Data)" },)json"
    R"json(                { "id": "0xAF", "name": "Bad Cluster Count" },)json"
    R"json(                { "id": "0xBB", "name": "Reported Uncorrectable Errors" },)json"
    R"json(                { "id": "0xC0", "name": "Unexpected Power Loss Count" },)json"
    R"json(                { "id": "0xC2", "name": "Temperature" },)json"
    R"json(                { "id": "0xE7", "name": "Available Reserved Space" },)json"
    R"json(                { "id": "0xE8", "name": "Power Loss Protection Failure" },)json"
    R"json(                { "id": "0xE9", "name": "Media Wear-out Indicator" },)json"
    R"json(                { "id": "0xF1", "name": "Host)json" "\xE3\x80\x80" R"json(Writes" },)json"
    R"json(                { "id": "0xF2", "name": "Host)json" "\xE3\x80\x80" R"json(Reads" },)json"
    R"json(                { "id": "0xF3", "name": "Refresh Count" },)json"
    R"json(                { "id": "0xF9", "name": "NAND Write" })json"
    R"json(            ]        })json"
    R"json(    ]})json";


namespace DivizuQuerylib {

namespace {

// A null record goes on to the OS layer, which refuses it.
bool isStoreDrive(const _OSL_PDEV* drive) { return drive && osl_is_pseudo_handle(drive->handle); }

}  // namespace

u64 OrvGenQuery::send_command(_OSL_PDEV* drive, _osl_dev_cmd* request, osl_bus_type bus,
                              osl_cmd_type kind) {
  if (isStoreDrive(drive)) return 0;
  return osl_send_command(drive, request, bus, kind);
}

u32 OrvGenQuery::get_maxtranfer_size(_OSL_PDEV* drive, osl_bus_type bus) {
  if (isStoreDrive(drive)) return 0;
  return osl_get_max_transfer_size(drive, bus);
}

u64 OrvGenQuery::drive_query(_OSL_PDEV* drive, _osl_dev_info* list) {
  if (isStoreDrive(drive)) return 0;
  return osl_drive_query(drive, list);
}

u64 OrvGenQuery::get_bus_dev_type(_OSL_PDEV* drive, osl_bus_type* commandBus,
                                  osl_dev_type* deviceType, osl_bus_type* physicalBus) {
  if (isStoreDrive(drive)) return 0;
  return osl_get_bus_dev_type(drive, commandBus, deviceType, physicalBus);
}

u64 OrvGenQuery::list_drives(_osl_dev_info* list) { return osl_list_drives(list); }
void OrvGenQuery::init_libs() {}
void OrvGenQuery::deinit_libs() {}

OrvNativeQuery::OrvNativeQuery() = default;
OrvNativeQuery::~OrvNativeQuery() = default;
u64 OrvNativeQuery::init() { return 0; }
u64 OrvNativeQuery::deinit() { return 0; }

u32 OrvNativeQuery::getMaxTransferSize(_OSL_PDEV* drive, osl_bus_type bus) {
  return osl_get_max_transfer_size(drive, bus);
}

u64 OrvNativeQuery::sendCommand(_OSL_PDEV* drive, _osl_dev_cmd* request, osl_bus_type bus,
                                osl_cmd_type kind) {
  return osl_send_command(drive, request, bus, kind);
}

u64 OrvNativeQuery::driveList(_osl_dev_info* list) { return osl_list_drives(list); }
u64 OrvNativeQuery::driveQuery(_OSL_PDEV* drive, _osl_dev_info* list) { return osl_drive_query(drive, list); }

u64 OrvNativeQuery::getBusDevtype(_OSL_PDEV* drive, osl_bus_type* commandBus,
                                  osl_dev_type* deviceType, osl_bus_type* physicalBus) {
  return osl_get_bus_dev_type(drive, commandBus, deviceType, physicalBus);
}

#define ORV_EMPTY_STORE_QUERY(Store)                                                          \
  Store::Store() = default;                                                                   \
  Store::~Store() = default;                                                                  \
  u64 Store::init() { return 0; }                                                             \
  u64 Store::deinit() { return 0; }                                                           \
  u32 Store::getMaxTransferSize(_OSL_PDEV*) { return 0; }                                     \
  u64 Store::sendCommand(_OSL_PDEV*, osl_cmd_type, u8*, u8, u8, void*, u32, u8*, u16, u32, u8) { \
    return 0;                                                                                 \
  }                                                                                           \
  u64 Store::driveList(_osl_dev_info*) { return 0; }                                          \
  u64 Store::driveQuery(_OSL_PDEV*, _osl_dev_info*) { return 0; }                             \
  u64 Store::getBusDevtype(_OSL_PDEV*, osl_bus_type*, osl_dev_type*, osl_bus_type*) { return 0; }

ORV_EMPTY_STORE_QUERY(OrvPStoreQuery)
ORV_EMPTY_STORE_QUERY(OrvBStoreQuery)
#undef ORV_EMPTY_STORE_QUERY

bool OrvPStoreQuery::isPstoreInit() { return false; }

}  // namespace DivizuQuerylib
