# Where `cmake --install` and the Debian package put things. The program, its tools, the example
# settings and the empty archive directory share one program directory, the install prefix
# (/opt/kavor-updater unless asked otherwise): the program reads config.ini beside itself, so that
# directory is the administrator's. The desktop entry, the icons, the man page and the systemd
# units go where the system looks for them: under /usr and /lib for the default prefix (and so in
# the package), under the prefix itself for any other (a trial install into a directory).

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX "/opt/kavor-updater" CACHE PATH "The program directory" FORCE)
endif()
set(KAVOR_INSTALL_DATADIR "" CACHE PATH
    "Desktop entry, icons and man page, as share/ holds them (empty: the prefix's default)")
set(KAVOR_INSTALL_UNITDIR "" CACHE PATH "systemd system units (empty: the prefix's default)")
if(CMAKE_INSTALL_PREFIX STREQUAL "/opt/kavor-updater")
    set(kavor_datadir "/usr/share")
    set(kavor_unitdir "/lib/systemd/system")
else()
    set(kavor_datadir "share")
    set(kavor_unitdir "lib/systemd/system")
endif()
if(KAVOR_INSTALL_DATADIR)
    set(kavor_datadir "${KAVOR_INSTALL_DATADIR}")
endif()
if(KAVOR_INSTALL_UNITDIR)
    set(kavor_unitdir "${KAVOR_INSTALL_UNITDIR}")
endif()
set(KAVOR_PROGRAM_DIR "${CMAKE_INSTALL_PREFIX}")

set(kavor_packaging "${PROJECT_SOURCE_DIR}/packaging")
set(kavor_staged "${PROJECT_BINARY_DIR}/packaging")
string(TIMESTAMP KAVOR_MAN_DATE "%Y-%m-%d" UTC) # follows SOURCE_DATE_EPOCH when it is set
configure_file("${kavor_packaging}/kavor-updater.desktop.in" "${kavor_staged}/kavor-updater.desktop" @ONLY)
configure_file("${kavor_packaging}/kavor-updater.service.in" "${kavor_staged}/kavor-updater.service" @ONLY)
configure_file("${kavor_packaging}/kavor-updater.1.in" "${kavor_staged}/kavor-updater.1" @ONLY)
configure_file("${kavor_packaging}/config.ini.example" "${kavor_staged}/config.ini.example" @ONLY)
configure_file("${kavor_packaging}/nginx-mirror.conf.in" "${kavor_staged}/nginx-mirror.conf" @ONLY)
file(MAKE_DIRECTORY "${kavor_staged}/basa")

# Icons drawn by the program's own picture code; the man page compressed as Debian keeps them.
set(kavor_icon_sizes 16 24 32 48 64 128 256)
set(kavor_icon_files)
foreach(size IN LISTS kavor_icon_sizes)
    list(APPEND kavor_icon_files "${kavor_staged}/icons/${size}x${size}/apps/kavor-updater.png")
endforeach()
add_custom_command(OUTPUT ${kavor_icon_files}
    COMMAND kavor-icon "${kavor_staged}/icons" ${kavor_icon_sizes}
    DEPENDS kavor-icon
    COMMENT "Drawing the program icon")
add_custom_command(OUTPUT "${kavor_staged}/kavor-updater.1.gz"
    COMMAND gzip -9nc "${kavor_staged}/kavor-updater.1" > "${kavor_staged}/kavor-updater.1.gz"
    DEPENDS "${kavor_staged}/kavor-updater.1"
    COMMENT "Compressing the man page")
add_custom_target(kavor_install_files ALL DEPENDS ${kavor_icon_files} "${kavor_staged}/kavor-updater.1.gz")

install(TARGETS kavor-updater kavor-unzip kavor-get RUNTIME DESTINATION .)
install(FILES "${kavor_staged}/config.ini.example" DESTINATION .)
install(DIRECTORY "${kavor_staged}/basa" DESTINATION .)
install(FILES "${kavor_staged}/kavor-updater.desktop" DESTINATION "${kavor_datadir}/applications")
install(DIRECTORY "${kavor_staged}/icons/" DESTINATION "${kavor_datadir}/icons/hicolor")
install(FILES "${kavor_staged}/kavor-updater.1.gz" DESTINATION "${kavor_datadir}/man/man1")
install(FILES "${kavor_staged}/nginx-mirror.conf"
    DESTINATION "${kavor_datadir}/doc/kavor-updater/examples")
install(FILES "${kavor_staged}/kavor-updater.service" "${kavor_packaging}/kavor-updater.timer"
    DESTINATION "${kavor_unitdir}")
