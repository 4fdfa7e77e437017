// What a listing read of a drive's model, and whether it may be a given
// model or another reading of the same drive's.
#pragma once

#include "osl/osl_types.h"

// Whether a drive that reported the model `read` whole is of the model
// `model`: exactly it, or the maker's name and it, as some drives report it.
bool osl_is_model(const char* read, const char* model);
// Whether a drive whose model was read as `read` from a field of `field`
// characters (as _osl_dev_entry::modelField; 0: none read) may be of the
// model `model`: where the field cuts `model` (or the maker's name and it),
// `read` is the start the field holds, without the blanks that pad it;
// otherwise osl_is_model decides.
bool osl_may_be_model(const char* read, u32 field, const char* model);
// Whether two readings of models, each from its own field, may be of one
// drive: the one read from the shorter field may be the other, whole.
bool osl_may_be_one_model(const char* a, u32 fieldA, const char* b, u32 fieldB);
