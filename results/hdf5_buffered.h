// A file driver for the HDF5 library that gathers the writes which append
// to the file into 1 MiB and writes them a page-aligned megabyte at a time.
// The /steps chunks are written one after the other, 20 to 60 KB each at
// odd offsets; the page cache takes such writes at about twice the cost of
// large aligned ones. Reads, and writes anywhere else, first write out what
// is gathered; closing writes it out and cuts the file to its end, as the
// library's own POSIX driver does.
#pragma once

#include <hdf5.h>

// A file access property list with the driver set (the caller closes it);
// negative when the library refused the driver.
hid_t hdf5_buffered_access();
