// The help window's text: an RTF document (resources/help.rtf) compiled into the
// program as bytes. Constant data, so any thread may call HelpTextData.
#pragma once

#include "resources/pictures.h"

// The RTF bytes of the help text.
EmbeddedData HelpTextData();
