// The script's EXPORT_VOXELS file [step [spacing]] [options]: the open recording as a
// voxel volume, as kestrane-tool export-voxels writes it (a relative file
// name beside the recording; the step in pixel widths, the spacing in mm;
// slab=MM, fill-holes=MM, masked, clip=X,Y,W,H, threads=N as its flags).
#pragma once

class script_function_table_t;

void register_voxel_functions(script_function_table_t& table);
