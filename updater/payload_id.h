// Shared by the resource script and the code that finds the resource.
#pragma once
#define kUpdaterArchiveResource 201
