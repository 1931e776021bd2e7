#include "xml/SaxWriter.h"
