// list.h: the list of the header's blocks, tarvel_pages or tarvel_files.
#pragma once

// Appends the list of blocks to the header, with -z or -a. A line of the
// record that was lost would leave the list short of a block, and so the
// header.
void put_list();
