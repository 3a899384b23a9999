// Resource ids shared by the resource script and the code.
#pragma once

#define IDS_NO_INSTALLER 100
#define IDS_BAD_PACKAGE 101
#define IDS_BROWSE_PROMPT 102
#define IDS_PREPARING 103
