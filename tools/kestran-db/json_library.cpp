// Boost.JSON's own sources, compiled into the tool once (its header-only mode): no
// library to build or link on any system.
#include <boost/json/src.hpp>
