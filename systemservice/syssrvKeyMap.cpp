// Remote keys and the standard Linux input code of the key of the same
// name (linux/input-event-codes.h), in the order they are searched.
#include "systemservice/syssrvPower.h"

const KeyCodeMapT keyCodeMap[kKeyCodeMapSize] = {
    {kKeyUp, 103},           {kKeyDown, 108},         {kKeyEnter, 28},        {kKeyLeft, 105},
    {kKeyRight, 106},        {kKeyNumericStar, 522},  {kKeyNumericPound, 523}, {kKeyZoomIn, 418},
    {kKeyZoomOut, 419},      {kKeyF13, 183},          {kKeyF14, 184},         {kKeyBack, 158},
    {kKeyInfo, 358},         {kKeyOption, 357},       {kKeyF15, 185},         {kKeyBattery, 236},
    {kKeyF16, 186},          {kKeyDirectory, 394},    {kKeyHome, 102},        {kKeyDisplayToggle, 431},
    {kKeyCamera, 212},       {kKeyF17, 187},          {kKeyDot, 52},          {kKeyDelete, 111},
    {kKeyPhone, 169},        {kKeyF18, 188},          {kKeyPower, 116},       {kKeyPlay, 207},
    {kKeyStop, 128},         {kKeyFastForward, 208},  {kKeyRewind, 168},      {kKeyPause, 119},
    {kKeyRecord, 167},       {kKey0, 11},             {kKey1, 2},             {kKey2, 3},
    {kKey3, 4},              {kKey4, 5},              {kKey5, 6},             {kKey6, 7},
    {kKey7, 8},              {kKey8, 9},              {kKey9, 10},            {kKeyMute, 113},
    {kKeyVolumeUp, 115},     {kKeyVolumeDown, 114},   {kKeyF19, 189},         {kKeyKeyboard, 374},
};
