# Sourced by the packaging scripts: the pluginst.inf that lets a file manager install the
# plug-in from its zip (Total Commander on Windows, Double Commander 1.1 and later).
#   pluginst_inf VERSION   prints it, with LF line ends
pluginst_inf() {
  cat <<INF
[plugininstall]
description=K.E.S.T.R.A.N. db explorer: the game's *.db archives as one read-only tree; copy files out and see which archives hold a file
type=wfx
file=kestran.wfx
defaultdir=kestran
version=$1
INF
}
