# Where "cmake --install" puts things. One set of rules, two layouts:
#
# - a program folder (the default, and the .tar.gz): the prefix itself is the
#   folder the window program treats as its own, with the programs at its top
#   and nothing else the program reads there (no hexcfg.dat, no firmware, no
#   COMn links), so installing over an existing folder replaces the programs
#   and leaves the technician's files alone;
# - the system (VELTRAX_SYSTEM_LAYOUT, set for the .deb): the window program
#   in lib/veltrax-uploader, started through a launcher in bin that gives it
#   a program folder in the user's home; tools in bin; desktop files in share.
include(GNUInstallDirs)

option(VELTRAX_SYSTEM_LAYOUT "Install for a system package (bin, lib/veltrax-uploader, share) instead of as a program folder" OFF)

if(VELTRAX_SYSTEM_LAYOUT)
  # A program that is not run by name belongs in lib/<package> on Debian, not
  # in the multiarch library folder that CMAKE_INSTALL_LIBDIR names there.
  set(VELTRAX_PROGRAM_DESTINATION lib/veltrax-uploader)
  set(VELTRAX_TOOL_DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
  set(VELTRAX_PROGRAM_DESTINATION .)
  set(VELTRAX_TOOL_DESTINATION .)
endif()

# The window program.
function(veltrax_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${VELTRAX_PROGRAM_DESTINATION})
endfunction()

# A command-line tool for the technician: beside the program in a program
# folder, in bin for the system. One call per tool is all a new one needs.
function(veltrax_install_tool target)
  install(TARGETS ${target} RUNTIME DESTINATION ${VELTRAX_TOOL_DESTINATION})
endfunction()
