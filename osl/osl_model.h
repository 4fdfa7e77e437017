// What a listing read of a drive's model, and whether it may be a given
// model or another reading of the same drive's.
#pragma once

#include "osl/osl_types.h"

// Keeps what a field of `length` characters (up to a NUL) read of a drive's
// model, in out (size bytes). The blanks after the model pad the field and
// are dropped. Those before it are padding too (osl_model_start), but stay:
// where the field cut the model, they tell how much of it the field holds
// (osl_may_be_model).
void osl_read_model(char* out, u32 size, const char* field, u32 length);
// The model a reading names: past the blanks before it.
const char* osl_model_start(const char* reading);
// Whether a drive that reported the model `read` whole is of the model
// `model`: exactly it, or the maker's name and it, as some drives report it.
// The blanks before `read` are padding; `model` is compared as given.
bool osl_is_model(const char* read, const char* model);
// Whether a drive whose model was read as `read` (osl_read_model) from a
// field of `field` characters (as _osl_dev_entry::modelField; 0: none read)
// may be of the model `model`: where the field cuts `model` (or the maker's
// name and it) written after the blanks `read` begins with, `read` is the
// start the field holds; otherwise osl_is_model decides.
bool osl_may_be_model(const char* read, u32 field, const char* model);
// Whether two readings of models, each from its own field, may be of one
// drive: either may be a reading, cut by its field or not, of the model the
// other names.
bool osl_may_be_one_model(const char* a, u32 fieldA, const char* b, u32 fieldB);
