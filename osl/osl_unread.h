// What a listing could not read, and the lookups that judge it: which of
// those texts may be the drive a caller looks for, and which are the drive's
// own.
#pragma once

#include <string>

#include "osl/osl_types.h"

struct _osl_dev_entry;

constexpr u8 OSL_NO_TARGET = 255;
constexpr u32 OSL_NO_DEVICE_NUMBER = 0xFFFFFFFF;

// Where a listing met what it could not read, as far as it knew when it
// failed. A text's place tells whose it is; whether it may be the drive is
// told by its model (and by the id it was placed under), never by its place.
struct osl_unread_place {
  bool everyDisk = false;  // the disk interfaces could not be listed at all
  bool everyPort = false;  // the storage ports could not be listed at all
  u32 deviceNumber = OSL_NO_DEVICE_NUMBER;  // the disk's device number, once read
  int port = -1;  // the storage port whose request failed; -1: none
  u8 target = OSL_NO_TARGET;  // the target a RAID driver presents the disk at
};

// What a listing could not read: the disk interfaces, drives and storage
// ports it went on past. A list with any of them is incomplete: the drive a
// caller looks for may be among them. Each one is logged at error level
// ("Error: Could not read <what>: <why>"); OSL_UNREAD_KEPT of them are kept
// as "<what>: <why>", each with what the listing knows of the drive's model
// (a drive whose descriptor was read): a caller looking for drives of one
// model need not name a drive of another.
constexpr u32 OSL_UNREAD_KEPT = 16;
constexpr u32 OSL_UNREAD_TEXT = 320;
struct osl_unread_list {
  u32 count = 0;  // all of them, kept or not
  char texts[OSL_UNREAD_KEPT][OSL_UNREAD_TEXT];
  char models[OSL_UNREAD_KEPT][41];  // as osl_read_model keeps them
  u8 modelFields[OSL_UNREAD_KEPT];  // as _osl_dev_entry::modelField; 0: no model known
  // Those beyond the kept ones by model: each model and field once, with how
  // many had it, for OSL_UNREAD_KEPT models. Readings that differ only in
  // the blanks before the model are one model, kept as the one with the most
  // blanks (where a field cut the model, that one may be the most models),
  // unless a reading fills its field: there the blanks took room of the
  // model and tell how much of it the field holds. Those of a model that
  // finds no slot left are counted in one more slot, of no model known.
  u32 restModelCount = 0;
  char restModels[OSL_UNREAD_KEPT + 1][41];
  u8 restModelFields[OSL_UNREAD_KEPT + 1];
  u32 restCounts[OSL_UNREAD_KEPT + 1];
  // Those beyond the kept ones that cannot be the list's drive (see own):
  // counted, never given.
  u32 restOthers = 0;
  // The id of the drive a kept text names, when the listing read it and
  // placed it under that id (a drive that is no drive of the list, such as
  // one without a serial number): it is no other drive. Empty: the text may
  // be any drive's.
  char ids[OSL_UNREAD_KEPT][32];
  // Whether a kept text was met at the place of the drive the list is made
  // for (osl_unread_for_drive), or is one of its own failed calls. Of the
  // drive's own texts, those that may be it are kept whatever the count:
  // past the kept ones, each takes the place of the last kept text that is
  // not, which is counted with those past the kept ones (by model when it
  // may be the drive, else with restOthers). 16 texts are kept in all.
  bool own[OSL_UNREAD_KEPT] = {};
  // The drive the list is made for: its id (empty: none) and its place, its
  // device number (a physical drive), or its controller's port and, for a
  // drive its RAID driver names by target, that target.
  char drive[32] = {};
  u32 driveNumber = OSL_NO_DEVICE_NUMBER;
  int drivePort = -1;
  u8 driveTarget = OSL_NO_TARGET;
};
// Makes the list one made while the drive with this id is looked up.
void osl_unread_for_drive(osl_unread_list* unread, const char* id);
// Forgets what the list counted, not the drive it is made for.
void osl_unread_clear(osl_unread_list* unread);
// Why a listing does not take a drive that reports no serial number.
constexpr char OSL_NO_SERIAL_NUMBER[] = "the drive reports no serial number";
// Logs and records one; without a record (a listing made for another
// purpose) nothing is done. entry: the drive's entry as far as it was
// filled, null when none was. place: where the listing met it.
void osl_unread_add(osl_unread_list* unread, const char* what, const char* why,
                    const _osl_dev_entry* entry = nullptr, const osl_unread_place& place = {});
// The same for a drive the listing read and placed under its entry's id.
void osl_unread_add_placed(osl_unread_list* unread, const char* what, const char* why, const _osl_dev_entry& entry);
// How many of the list's drives may be the drive with this id (null: any
// drive): of the kept texts, those but the ones placed under other ids and,
// where a lookup scope knows the drive's model, those whose model was read
// and cannot be it by what any scope open knows. The drives past the kept
// texts are told apart by their models alone: their ids are not kept.
u32 osl_unread_count_for(const osl_unread_list* unread, const char* id);
// Whether the kept text at index may be the drive with this id, by the same
// rule; a text of the drive's own place is judged by it too.
bool osl_unread_may_be(const osl_unread_list* unread, u32 index, const char* id);
// How many texts the list keeps: its drives but those counted past them. A
// lookup's record may count drives past them before it is full: those whose
// texts the listing it was given had no room for.
u32 osl_unread_kept(const osl_unread_list* unread);
// How many of the drives past the kept texts may be the drive looked up, by
// their models (as osl_unread_count_for counts them).
u32 osl_unread_rest_for(const osl_unread_list* unread);
// "<call> failed (error: E)": a call that failed with a Windows error.
std::string osl_call_failure(const char* call, u32 error);
// osl_unread_add for a call that failed with a Windows error.
void osl_unread_call(osl_unread_list* unread, const char* what, const char* call, u32 error,
                     const osl_unread_place& place = {});

// Why a drive behind a RAID controller could not be looked up (a request to
// its controller failed): recorded in the record of the innermost scope
// open, as the drive's own text, and logged; outside every scope only
// logged. Answers code 19.
u64 osl_lookup_failure(const char* what, const char* why);
// The same for what a listing made during a lookup could not read (already
// logged by the listing): the texts that may be the drive with this id go to
// the innermost scope's record (those of the drive's own place marked so),
// and the drives past the kept texts that may be it are counted there by
// model. 0 when none may be the drive.
u64 osl_lookup_unread(const osl_unread_list* unread, const char* id);
// Opening a drive asks its controller more than once; every failure while
// the scope lives goes to the opener's record (null: the outer scope's).
// model: what the opener read of the drive's model, from a field of
// modelField characters (as _osl_dev_entry::modelField; 0: the drive's
// model is not known), kept as osl_read_model keeps it; null: nothing more
// than the outer scopes know. A text is the drive's only when it may be by
// the model of every scope open that names one: each knows the drive as its
// opener read it (the run's listing, the opening's own, the opened drive).
class osl_lookup_scope {
 public:
  explicit osl_lookup_scope(osl_unread_list* record, const char* model = nullptr, u8 modelField = 0);
  ~osl_lookup_scope();
  osl_lookup_scope(const osl_lookup_scope&) = delete;
  osl_lookup_scope& operator=(const osl_lookup_scope&) = delete;

  // Whether a drive whose model was read from a field of `field` characters
  // may be the drive by what this scope and those around it know.
  bool admits(const char* model, u8 field) const;

 private:
  osl_unread_list* outerRecord_;
  const osl_lookup_scope* outer_;
  bool knowsModel_;
  char model_[41];
  u8 modelField_;
};
