// types.h: the type of a file of the tree (-a), by its extension.
#pragma once

// The type of a file of no known extension.
extern const char unknown_type[];

// The type of the file `name`, by its extension, or null for none known.
const char *type_of(const char *name);
