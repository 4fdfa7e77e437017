// The library's declarations: the built-in configuration of SMART attribute
// names, and the query library.
#pragma once

#include "osl/osl_cmd.h"
#include "osl/osl_types.h"

// One line of JSON: a device entry that gives every drive parser 0, and three
// parsers of attribute names.
extern const char orvlib_smart_attr_config[];

// The query library: the OS layer's drive functions for programs that load
// the library. The facade keeps the two RAID stores' pseudo handles away from
// the operating system; the native back-end passes everything on; the store
// back-ends have no store behind them and answer 0.

namespace DivizuQuerylib {

class ORV_EXPORT OrvGenQuery {
 public:
  static u64 send_command(_OSL_PDEV* drive, _osl_dev_cmd* request, osl_bus_type bus,
                          osl_cmd_type kind);
  static u32 get_maxtranfer_size(_OSL_PDEV* drive, osl_bus_type bus);
  static u64 drive_query(_OSL_PDEV* drive, _osl_dev_info* list);
  // A pseudo handle leaves the outputs untouched.
  static u64 get_bus_dev_type(_OSL_PDEV* drive, osl_bus_type* commandBus, osl_dev_type* deviceType,
                              osl_bus_type* physicalBus);
  static u64 list_drives(_osl_dev_info* list);
  static void init_libs();
  static void deinit_libs();
};

class ORV_EXPORT OrvNativeQuery {
 public:
  OrvNativeQuery();
  ~OrvNativeQuery();
  static u64 init();
  static u64 deinit();
  u32 getMaxTransferSize(_OSL_PDEV* drive, osl_bus_type bus);
  u64 sendCommand(_OSL_PDEV* drive, _osl_dev_cmd* request, osl_bus_type bus, osl_cmd_type kind);
  u64 driveList(_osl_dev_info* list);
  u64 driveQuery(_OSL_PDEV* drive, _osl_dev_info* list);
  u64 getBusDevtype(_OSL_PDEV* drive, osl_bus_type* commandBus, osl_dev_type* deviceType,
                    osl_bus_type* physicalBus);
};

// The request record's fields travel as separate arguments to a store.
#define ORV_STORE_QUERY_MEMBERS                                                                  \
  static u64 init();                                                                             \
  static u64 deinit();                                                                           \
  u32 getMaxTransferSize(_OSL_PDEV* drive);                                                      \
  u64 sendCommand(_OSL_PDEV* drive, osl_cmd_type kind, u8* block, u8 blockLength, u8 direction, \
                  void* data, u32 dataLength, u8* response, u16 responseLength,                  \
                  u32 timeoutSeconds, u8 ignoreError);                                           \
  u64 driveList(_osl_dev_info* list);                                                            \
  u64 driveQuery(_OSL_PDEV* drive, _osl_dev_info* list);                                         \
  u64 getBusDevtype(_OSL_PDEV* drive, osl_bus_type* commandBus, osl_dev_type* deviceType,       \
                    osl_bus_type* physicalBus);

// The store behind the pseudo handle -10 ("raid_p").
class ORV_EXPORT OrvPStoreQuery {
 public:
  OrvPStoreQuery();
  ~OrvPStoreQuery();
  ORV_STORE_QUERY_MEMBERS

 private:
  static bool isPstoreInit();
};

// The store behind the pseudo handle -9 ("raid_b").
class ORV_EXPORT OrvBStoreQuery {
 public:
  OrvBStoreQuery();
  ~OrvBStoreQuery();
  ORV_STORE_QUERY_MEMBERS
};

#undef ORV_STORE_QUERY_MEMBERS

}  // namespace DivizuQuerylib
