! gfortran's own speed on the longest record layouts of the system, for comparison with our engine
! (bench/bench_textio.cpp): each layout is written into a line with its runtime format and read back
! from such lines. The values are those the C++ benchmark builds, from the same integer formulas, so
! both sides format the very same numbers; `gfortran_textio sample` prints the first record of each
! layout so that bench/run_textio.sh can check that.
!
! Output: one line per measurement, "<write|read> <layout> <records per second>".
program gfortran_textio
    implicit none
    integer, parameter :: nrec = 1000, nunk = 20
    integer, parameter :: dp = kind(1d0), qp = 16
    ! Record formats, exactly as the system writes and reads them.
    character(len=*), parameter :: fmt_ti = '(i2,i4,f16.12,1x,a,i3,f11.6,2(f14.7,2f14.8),e23.15,1x,a,' // &
                                            '      i6,2e23.15,2f14.3,1x,l1,4(1x,e15.7),1x,f12.2,3f10.4,f15.5,i7,' // &
                                            '     2f15.5,2f8.2,6(f15.3),f15.8,' // &
                                            '                                      f8.1,e18.10,6f9.3,3e16.8)'
    character(len=*), parameter :: fmt_pr6 = '(a,i2,1X,I2.2,4(1X,I2),F11.7,1X,a,i4,i3,i3,6f14.3,2e11.3,f9.3,' // &
                                             '2(f9.3,f13.3),3f9.3,f8.1,e18.10,6f9.3,2i3,1x,e23.15,e15.7,1x,l1,' // &
                                             '2i6,00020(i8,2e23.15),i5,i3,2(1x,l1),2i5,1x,a)'
    character(len=*), parameter :: fmt_ob1 = '(4x,i2,1X,I2,4(1X,I2),F11.7,1X,a,1x,a1,1x,I1,F12.9,i6,06(4x,a2),' // &
                                             '6(f14.3,i1,i1),1x,i5,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1,f11.4,' // &
                                             '1x,e15.7,1x,l1,1x,e15.7,1x,l1,1x,e15.7,1x,l1)'
    ! Digits of each integer and decimal scale of each real, in the order of the items (see
    ! bench_textio.cpp, which has the same tables).
    integer, parameter :: ti_nd(5) = [2, 4, 3, 6, 7]
    integer, parameter :: ti_p(43) = [1, 2, 4, 3, 3, 4, 3, 3, 2, 5, 0, 8, 8, 1, 3, 6, 2, 7, 3, 3, 3, 7, 7, 7, &
                                      3, 3, 9, 9, 9, 9, 9, 9, 4, 4, 3, 3, 3, 3, 3, 3, 2, 5, 1]
    integer, parameter :: pr6_nd(37) = [2, 2, 2, 2, 2, 2, 4, 3, 3, 3, 3, 6, 6, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, &
                                        8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 5, 3, 5, 5]
    integer, parameter :: pr6_p(27) = [1, 8, 8, 8, 8, 8, 8, 2, 2, 3, 3, 7, 3, 7, 3, 3, 3, 4, 4, 3, 3, 3, 3, &
                                       3, 3, 1, 2]
    integer, parameter :: ob1_nd(21) = [2, 2, 2, 2, 2, 2, 1, 6, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 5]
    integer, parameter :: ob1_p(14) = [1, 0, 8, 8, 8, 8, 8, 8, 2, 3, 4, 1, 5, 0]

    integer :: ti_i(5, nrec), pr6_i(37, nrec), ob1_i(21, nrec)
    real(dp) :: ti_d(43, nrec), pr6_d(27, nrec), pr6_u(2, nunk, nrec), ob1_d(14, nrec)
    real(qp) :: ti_q(nrec)
    logical :: lg(6, nrec)
    character(len=2) :: codes(6)
    character(len=2000) :: lines_ti(nrec), lines_pr6(nrec), lines_ob1(nrec)
    character(len=2000) :: line
    ! read targets
    integer :: ri(40), ru(nunk)
    real(dp) :: rd(50), rw(2, nunk)
    real(qp) :: rq
    logical :: rl(6)
    character(len=4) :: rs1, rs2
    character(len=11) :: rtag
    character(len=1) :: rflag
    character(len=2) :: rcodes(6)
    integer :: r, k, j, ios
    character(len=16) :: arg

    codes = ['L1', 'L2', 'C1', 'P2', 'S1', 'S2']
    do r = 1, nrec
        do k = 1, 5
            ti_i(k, r) = ival(k, r - 1, ti_nd(k))
        end do
        do k = 1, 43
            ti_d(k, r) = dval(k, r - 1, ti_p(k))
        end do
        ti_q(r) = 54614.0_qp + real(mod((r - 1)*37, 2880), qp)/2880.0_qp
        do k = 1, 37
            pr6_i(k, r) = ival(k, r - 1, pr6_nd(k))
        end do
        do k = 1, 27
            pr6_d(k, r) = dval(k, r - 1, pr6_p(k))
        end do
        do k = 1, nunk
            pr6_u(1, k, r) = dval(100 + 2*k, r - 1, 0)
            pr6_u(2, k, r) = dval(101 + 2*k, r - 1, 3)
        end do
        do k = 1, 21
            ob1_i(k, r) = ival(k, r - 1, ob1_nd(k))
        end do
        do k = 1, 14
            ob1_d(k, r) = dval(k, r - 1, ob1_p(k))
        end do
        do k = 1, 6
            lg(k, r) = mod(r - 1 + k, 2) == 0
        end do
    end do

    if (command_argument_count() >= 1) then
        call get_command_argument(1, arg)
        if (arg == 'sample') then
            call write_ti(1, line)
            write (*, '(a)') trim(line)
            call write_pr6(1, line)
            write (*, '(a)') trim(line)
            call write_ob1(1, line)
            write (*, '(a)') trim(line)
            stop
        end if
    end if

    do r = 1, nrec
        call write_ti(r, lines_ti(r))
        call write_pr6(r, lines_pr6(r))
        call write_ob1(r, lines_ob1(r))
    end do

    call measure('write', 'PR6-20', 1)
    call measure('write', 'TI-CLASSIC4', 2)
    call measure('write', 'OB1-6', 3)
    call measure('read', 'PR6-20', 4)
    call measure('read', 'TI-CLASSIC4', 5)
    call measure('read', 'OB1-6', 6)

contains

    integer function ival(k, r, nd)
        integer, intent(in) :: k, r, nd
        ival = int(mod(int(k, 8)*7919_8 + int(r, 8)*104729_8, 10_8**nd))
    end function ival

    ! (m * 1.234567890123e-6 - 0.6) * 10^p: reproducible in any language with IEEE doubles.
    real(dp) function dval(k, r, p)
        integer, intent(in) :: k, r, p
        integer(8) :: m
        m = mod(int(k, 8)*7919_8 + int(r, 8)*104729_8, 1000003_8)
        dval = (real(m, dp)*1.234567890123d-6 - 0.6d0)*(10.0d0**p)
    end function dval

    subroutine write_ti(r, out)
        integer, intent(in) :: r
        character(len=*), intent(out) :: out
        write (out, fmt_ti) ti_i(1, r), ti_i(2, r), ti_d(1, r), 'BELL', ti_i(3, r), ti_d(2, r), ti_d(3:8, r), &
            ti_d(9, r), 'TI-CLASSIC4', ti_i(4, r), ti_d(10:11, r), ti_d(12:13, r), lg(1, r), ti_d(14:17, r), &
            ti_d(18, r), ti_d(19:21, r), ti_d(22, r), ti_i(5, r), ti_d(23:24, r), ti_d(25:26, r), &
            ti_d(27:32, r), ti_q(r), ti_d(33, r), ti_d(34, r), ti_d(35:40, r), ti_d(41:43, r)
    end subroutine write_ti

    subroutine write_pr6(r, out)
        integer, intent(in) :: r
        character(len=*), intent(out) :: out
        write (out, fmt_pr6) 'PR6 ', pr6_i(1:6, r), pr6_d(1, r), 'BELL', pr6_i(7:9, r), pr6_d(2:7, r), &
            pr6_d(8:9, r), pr6_d(10, r), pr6_d(11:14, r), pr6_d(15:17, r), pr6_d(18, r), pr6_d(19, r), &
            pr6_d(20:25, r), pr6_i(10:11, r), pr6_d(26, r), pr6_d(27, r), lg(1, r), pr6_i(12:13, r), &
            (pr6_i(13 + k, r), pr6_u(1:2, k, r), k=1, nunk), pr6_i(34:35, r), lg(2:3, r), pr6_i(36:37, r), 'GPS '
    end subroutine write_pr6

    subroutine write_ob1(r, out)
        integer, intent(in) :: r
        character(len=*), intent(out) :: out
        write (out, fmt_ob1) ob1_i(1:6, r), ob1_d(1, r), 'BELL', 'G', ob1_i(7, r), ob1_d(2, r), ob1_i(8, r), &
            codes, (ob1_d(2 + k, r), ob1_i(7 + 2*k, r), ob1_i(8 + 2*k, r), k=1, 6), ob1_i(21, r), &
            lg(1, r), ob1_d(9, r), lg(2, r), ob1_d(10, r), lg(3, r), ob1_d(11, r), ob1_d(12, r), lg(4, r), &
            ob1_d(13, r), lg(5, r), ob1_d(14, r), lg(6, r)
    end subroutine write_ob1

    subroutine read_ti(in)
        character(len=*), intent(in) :: in
        read (in, fmt_ti, iostat=ios) ri(1), ri(2), rd(1), rs1, ri(3), rd(2), rd(3:8), rd(9), rtag, ri(4), &
            rd(10:11), rd(12:13), rl(1), rd(14:17), rd(18), rd(19:21), rd(22), ri(5), rd(23:24), rd(25:26), &
            rd(27:32), rq, rd(33), rd(34), rd(35:40), rd(41:43)
    end subroutine read_ti

    subroutine read_pr6(in)
        character(len=*), intent(in) :: in
        read (in, fmt_pr6, iostat=ios) rs1, ri(1:6), rd(1), rs2, ri(7:9), rd(2:7), rd(8:9), rd(10), rd(11:14), &
            rd(15:17), rd(18), rd(19), rd(20:25), ri(10:11), rd(26), rd(27), rl(1), ri(12:13), &
            (ru(k), rw(1:2, k), k=1, nunk), ri(34:35), rl(2:3), ri(36:37), rs2
    end subroutine read_pr6

    subroutine read_ob1(in)
        character(len=*), intent(in) :: in
        read (in, fmt_ob1, iostat=ios) ri(1:6), rd(1), rs1, rflag, ri(7), rd(2), ri(8), rcodes, &
            (rd(2 + k), ri(7 + 2*k), ri(8 + 2*k), k=1, 6), ri(21), rl(1), rd(9), rl(2), rd(10), rl(3), rd(11), &
            rd(12), rl(4), rd(13), rl(5), rd(14), rl(6)
    end subroutine read_ob1

    ! Runs one kind of work over all records, repeatedly for at least half a second.
    subroutine measure(what, layout, job)
        character(len=*), intent(in) :: what, layout
        integer, intent(in) :: job
        integer(8) :: t0, t1, rate, done
        integer :: bad
        call system_clock(t0, rate)
        done = 0
        bad = 0
        do
            do j = 1, nrec
                select case (job)
                case (1)
                    call write_pr6(j, line)
                case (2)
                    call write_ti(j, line)
                case (3)
                    call write_ob1(j, line)
                case (4)
                    call read_pr6(lines_pr6(j))
                case (5)
                    call read_ti(lines_ti(j))
                case default
                    call read_ob1(lines_ob1(j))
                end select
                if (job >= 4 .and. ios /= 0) bad = bad + 1
            end do
            done = done + nrec
            call system_clock(t1)
            if (real(t1 - t0, dp)/real(rate, dp) >= 0.5d0) exit
        end do
        if (bad > 0) write (0, '(a,1x,a,": ",i0," reads failed")') what, layout, bad
        write (*, '(a,1x,a,1x,f0.0)') what, layout, real(done, dp)/(real(t1 - t0, dp)/real(rate, dp))
    end subroutine measure

end program gfortran_textio
