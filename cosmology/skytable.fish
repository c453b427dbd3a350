# fish completion for skytable: its options, each taking a value but -exact, -simple and -verbose.
complete -c skytable -f
complete -c skytable -o h0 -o hubble -x -d 'Hubble constant, km/s/Mpc (default 73)'
complete -c skytable -o omega -o matter -x -d 'Matter density parameter (default 0.27)'
complete -c skytable -o lambda -o vacuum -o vaccum -x -d 'Vacuum energy density parameter (default 0.73)'
complete -c skytable -o radiation -x -d 'Radiation density Omega_r h^2 (default 4.165e-5)'
complete -c skytable -o w0 -x -d 'Dark energy equation of state today (default -1)'
complete -c skytable -o wa -x -d 'Its change, w = w0 + wa (1 - a) (default 0)'
complete -c skytable -o exact -d 'Exact integrals, not the 1000-step midpoint rule'
complete -c skytable -o simple -d 'Print only the luminosity distance'
complete -c skytable -o verbose -d 'Also print the three times'
complete -c skytable -o threads -x -d 'Number of threads (default: every processor)'
complete -c skytable -o from -x -a 'z d_L d_c t_lookback t_age' -d 'The values are this quantity, not redshifts'
complete -c skytable -o digits -x -d 'Significant digits of every number, 1 to 17 (default 6)'
