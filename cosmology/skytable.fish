# fish completion for skytable: its options, each taking a number but -simple and -verbose.
complete -c skytable -f
complete -c skytable -o h0 -o hubble -x -d 'Hubble constant, km/s/Mpc (default 73)'
complete -c skytable -o omega -o matter -x -d 'Matter density parameter (default 0.27)'
complete -c skytable -o lambda -o vacuum -o vaccum -x -d 'Vacuum energy density parameter (default 0.73)'
complete -c skytable -o simple -d 'Print only the luminosity distance'
complete -c skytable -o verbose -d 'Also print the three times'
complete -c skytable -o threads -x -d 'Number of threads (default: every processor)'
